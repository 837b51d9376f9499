#pragma once

#include "core/http_decision.h"
#include "core/http_response.h"

// What a complete response header says, as decideResponse reads it; the
// download's side (requestedFrom, onDisk, knownSize, url...) is left to fill.
ResponseFacts replyFacts(const HttpResponseParser &response);

// The reply's strong ETag or Last-Modified; empty when it names neither.
QByteArray replyValidator(const HttpResponseParser &response);
