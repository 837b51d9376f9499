#include "core/response_facts.h"

ResponseFacts replyFacts(const HttpResponseParser &response)
{
    ResponseFacts facts;
    facts.status = response.status();
    facts.statusLine = response.statusLine();
    facts.contentLength = response.contentLength();
    facts.chunked = response.chunked();
    qint64 last = 0;
    facts.ranged = response.contentRange(&facts.rangeFirst, &last, &facts.rangeTotal);
    facts.location = response.header("Location");
    facts.contentEncoding = response.header("Content-Encoding");
    facts.retryAfter = response.header("Retry-After");
    facts.now = QDateTime::currentDateTimeUtc();
    facts.replyValidated = !replyValidator(response).isEmpty();
    return facts;
}

QByteArray replyValidator(const HttpResponseParser &response)
{
    return rangeValidator(response.header("ETag"), response.header("Last-Modified"));
}
