#include "core/http_decision.h"

#include "core/address_rebind.h"
#include "core/retry_after.h"

#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

using Kind = ResponseDecision::Kind;

ResponseDecision make(Kind kind)
{
    ResponseDecision d;
    d.kind = kind;
    return d;
}

ResponseDecision stop(const Message &notice)
{
    ResponseDecision d = make(Kind::Stop);
    d.notice = notice;
    return d;
}

ResponseDecision sizeChanged(const ResponseFacts &f, qint64 newSize)
{
    ResponseDecision d = stop(sizeChangedNotice(f.url, f.knownSize, newSize));
    d.sizeChanged = true;
    return d;
}

// A body coded for transfer (gzip, br...) is not the file's bytes, unless
// the file itself is of that kind: servers mark .gz files so.
bool codedBody(const ResponseFacts &f)
{
    const QByteArray coding = f.contentEncoding.trimmed().toLower();
    if (coding.isEmpty() || coding == "identity")
        return false;
    const QString path = f.url.section(u'?', 0, 0).toLower();
    const bool gzipFile = path.endsWith(u".gz"_s) || path.endsWith(u".tgz"_s);
    return !((coding == "gzip" || coding == "x-gzip") && gzipFile);
}

// "410 Gone" out of "HTTP/1.1 410 Gone": the server's words go into the log
// and a notice, so control characters are dropped and the length is bounded.
QString statusText(const ResponseFacts &f)
{
    const qsizetype blank = f.statusLine.indexOf(' ');
    QString text;
    const QByteArray rest = blank < 0 ? QByteArray() : f.statusLine.mid(blank + 1).left(100);
    for (char c : rest)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            text += QChar::fromLatin1(c);
    text = text.simplified();
    return text.isEmpty() ? QString::number(f.status) : text;
}

// A status that means "not now": retried on the budget, after the wait the
// server asked for, if it named one.
ResponseDecision tryLater(const ResponseFacts &f, Message::Id id)
{
    ResponseDecision d = make(Kind::Retry);
    const QStringList args = {f.host, statusText(f), QString::number(f.status)};
    d.notice = say(id, id == Message::Id::ServerBusy ? args : args.mid(0, 2));
    if (const auto seconds = retryAfterSeconds(f.retryAfter, f.now))
        d.retryAfter = int(std::min<qint64>(*seconds, kMaxRetryDelaySeconds));
    return d;
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The range was refused: either every byte is here already, or the bytes on
// disk are longer than the server's file and so not a part of it.
ResponseDecision rangeNotSatisfiable(const ResponseFacts &f)
{
    if (f.knownSize > 0 && f.rangeTotal >= 0 && f.rangeTotal != f.knownSize)
        return sizeChanged(f, f.rangeTotal);
    const bool totalKnown = f.rangeTotal >= 0 || f.knownSize > 0;
    const qint64 total = f.rangeTotal >= 0 ? f.rangeTotal : f.knownSize;
    if (totalKnown && f.onDisk == total) {
        // Only a request from the very end agrees with the refusal. One from
        // inside the file (the tail proof of bytes this download did not
        // write) refused as if past the end is not to be trusted: the bytes
        // stay unproven on disk and the server is asked again later.
        if (f.requestedFrom < total)
            return make(Kind::Retry);
        ResponseDecision d = make(Kind::Finished);
        d.size = total;
        return d;
    }
    // Refused even from the first byte: nothing to restart, try again later.
    return make(f.requestedFrom == 0 ? Kind::Retry : Kind::RestartFromStart);
}

ResponseDecision partialContent(const ResponseFacts &f)
{
    // A range that starts elsewhere than asked cannot be placed: writing it
    // would splice or destroy good bytes.
    if (!f.ranged || f.rangeFirst != f.requestedFrom)
        return make(Kind::Retry);
    if (f.knownSize > 0 && f.rangeTotal >= 0 && f.rangeTotal != f.knownSize)
        return sizeChanged(f, f.rangeTotal);
    ResponseDecision d = make(Kind::Write);
    d.writeFrom = f.requestedFrom;
    d.resumable = true;
    if (f.rangeTotal >= 0)
        d.size = f.rangeTotal;
    else if (f.contentLength >= 0 && !f.chunked)
        d.size = f.contentLength + f.requestedFrom;
    else
        d.size = f.knownSize;
    return d;
}

// The whole file again, from its first byte.
ResponseDecision wholeFile(const ResponseFacts &f)
{
    const qint64 length = f.chunked ? -1 : f.contentLength;
    // With If-Range sent, a whole body that names its own file is the server
    // saying its file is not the one the bytes on disk came from: take the
    // new one. A reply naming nothing (a portal or login page) proves nothing.
    if (f.ifRangeSent && f.replyValidated && f.requestedFrom > 0) {
        ResponseDecision d = make(Kind::Write);
        d.writeFrom = 0;
        d.size = length < 0 ? 0 : length;
        d.fileChanged = true;
        return d;
    }
    // A page in place of a file whose size is known (a maintenance notice, a
    // login form) must not replace the bytes already fetched.
    if (f.knownSize > 0 && length != f.knownSize)
        return sizeChanged(f, length);
    ResponseDecision d = make(Kind::Write);
    d.writeFrom = 0;
    d.size = length < 0 ? 0 : length;
    return d;
}

ResponseDecision decideOnReply(const ResponseFacts &f);

// A refusal of a browser's download that lost its cookies: the same address
// may well serve it again with the browser's session.
bool needsBrowser(const ResponseFacts &f)
{
    return f.sessionLost && (f.status == 401 || f.status == 403);
}

// An address that gave part of the file and now refuses it, sends a page or
// another size: the bytes stay and no retry is spent, since trying the same
// address again cannot help; another address may.
ResponseDecision expiredAddress(const ResponseFacts &f, ExpiredCause cause, const ResponseDecision &base)
{
    QStringList args = {QFileInfo(f.file).fileName(), f.url, QString::number(int(cause))};
    if (cause == ExpiredCause::OtherSize)
        args << base.notice.args.value(1) << base.notice.args.value(2);
    else
        args << statusText(f) << QString::number(f.status);
    if (needsBrowser(f))
        args << u"1"_s;
    ResponseDecision d = stop(say(Message::Id::AddressExpired, args));
    d.sizeChanged = base.sizeChanged;
    d.addressExpired = true;
    d.logged = true;
    return d;
}

} // namespace

ResponseDecision decideResponse(const ResponseFacts &f)
{
    const ResponseDecision base = decideOnReply(f);
    const ExpiredCause cause = expiredCause(f, base);
    return cause == ExpiredCause::None ? base : expiredAddress(f, cause, base);
}

namespace {
ResponseDecision decideOnReply(const ResponseFacts &f)
{
    if (isRedirect(f.status)) {
        // Nowhere to go: like a lost connection, try again later.
        if (f.location.trimmed().isEmpty())
            return make(Kind::Retry);
        if (!locationIsSafe(f.location))
            return stop(say(Message::Id::RedirectedToBadAddress, {f.url}));
        ResponseDecision d = make(Kind::Redirect);
        d.location = f.location;
        return d;
    }
    switch (f.status) {
    case 400:
        return stop(say(Message::Id::BadRequest));
    case 401:
    case 403:
        return stop(say(needsBrowser(f) ? Message::Id::BrowserSessionNeeded : Message::Id::AccessDenied));
    case 404:
        return make(Kind::Remove);
    case 416:
        return rangeNotSatisfiable(f);
    case 500:
        return stop(say(Message::Id::ServerError, {f.host}));
    case 408:
    case 429:
        return tryLater(f, Message::Id::ServerBusy);
    case 502:
    case 503:
    case 504:
        return tryLater(f, Message::Id::ServerUnavailable);
    case 202: {
        // Accepted, being prepared: the file may be there on a later try.
        ResponseDecision d = make(Kind::Retry);
        d.notice = say(Message::Id::StillPreparing, {f.url});
        return d;
    }
    default:
        break;
    }
    // An error page, or an empty or other success that is not the file's
    // body, is never saved as the file.
    if (f.status >= 300 || f.status < 200) {
        ResponseDecision d = stop(say(Message::Id::ServerRefused, {f.url, statusText(f), QString::number(f.status)}));
        d.logged = true;
        return d;
    }
    if (f.status != 200 && f.status != 206)
        return stop(say(Message::Id::NotTheFile, {f.url, QString::fromLatin1(f.statusLine)}));
    if (codedBody(f))
        return stop(say(Message::Id::Encoded, {f.url, QString::fromLatin1(f.contentEncoding.trimmed())}));
    return f.status == 206 ? partialContent(f) : wholeFile(f);
}
} // namespace

QByteArray rangeValidator(const QByteArray &etag, const QByteArray &lastModified)
{
    const QByteArray tag = etag.trimmed();
    if (tag.size() >= 2 && tag.startsWith('"') && tag.endsWith('"'))
        return tag;
    if (!tag.isEmpty())
        return QByteArray(); // weak ("W/") or malformed: not usable with If-Range
    return lastModified.trimmed();
}

CertificateProblem certificateProblemOf(const QList<QSslError> &errors)
{
    const auto has = [&errors](std::initializer_list<QSslError::SslError> kinds) {
        for (const QSslError &e : errors)
            for (const auto kind : kinds)
                if (e.error() == kind)
                    return true;
        return false;
    };
    if (has({QSslError::CertificateRevoked}))
        return CertificateProblem::Revoked;
    if (has({QSslError::CertificateExpired}))
        return CertificateProblem::Expired;
    if (has({QSslError::CertificateNotYetValid}))
        return CertificateProblem::NotYetValid;
    if (has({QSslError::SelfSignedCertificate, QSslError::SelfSignedCertificateInChain,
             QSslError::UnableToGetLocalIssuerCertificate, QSslError::UnableToGetIssuerCertificate,
             QSslError::UnableToVerifyFirstCertificate, QSslError::CertificateUntrusted,
             QSslError::CertificateRejected}))
        return CertificateProblem::Untrusted;
    if (has({QSslError::HostNameMismatch}))
        return CertificateProblem::WrongHost;
    return CertificateProblem::Other;
}

Message certificateNotice(const QString &host, const QString &url, const QList<QSslError> &errors)
{
    return say(Message::Id::Certificate, {host, url, QString::number(int(certificateProblemOf(errors))),
                                          errors.isEmpty() ? QString() : errors.first().errorString()});
}

Message sizeChangedNotice(const QString &url, qint64 oldSize, qint64 newSize)
{
    return say(Message::Id::SizeChanged,
               {url, QString::number(oldSize), newSize < 0 ? QString() : QString::number(newSize)});
}

namespace {
// A control character, or also the blank where blanks are refused.
bool isControl(unsigned code, bool blankToo)
{
    return code < 0x20 || code == 0x7F || (blankToo && code == 0x20);
}
} // namespace

bool hostIsSafe(const QString &host)
{
    return !host.isEmpty()
           && std::none_of(host.begin(), host.end(), [](QChar c) { return isControl(c.unicode(), true); });
}

bool locationIsSafe(const QByteArray &location)
{
    return std::none_of(location.begin(), location.end(),
                        [](char c) { return isControl(static_cast<unsigned char>(c), false); });
}
