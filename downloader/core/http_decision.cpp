#include "core/http_decision.h"

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

ResponseDecision stop(const QString &notice)
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

} // namespace

ResponseDecision decideResponse(const ResponseFacts &f)
{
    if (isRedirect(f.status)) {
        // Nowhere to go: like a lost connection, try again later.
        if (f.location.trimmed().isEmpty())
            return make(Kind::Retry);
        if (!locationIsSafe(f.location))
            return stop(u"El servidor ha redirigido "_s + f.url + u" a una dirección incorrecta."_s);
        ResponseDecision d = make(Kind::Redirect);
        d.location = f.location;
        return d;
    }
    switch (f.status) {
    case 400:
        return stop(u"Error de sintaxis en la petición"_s);
    case 401:
    case 403:
        return stop(u"Acceso denegado al archivo"_s);
    case 404:
        return make(Kind::Remove);
    case 416:
        return rangeNotSatisfiable(f);
    case 500:
        return stop(u"Error interno del servidor "_s + f.host + u"."_s);
    case 502:
    case 503:
    case 504:
        return make(Kind::Retry);
    case 202: {
        // Accepted, being prepared: the file may be there on a later try.
        ResponseDecision d = make(Kind::Retry);
        d.notice = u"El servidor todavía está preparando "_s + f.url + u": se volverá a intentar."_s;
        return d;
    }
    default:
        break;
    }
    // An error page, or an empty or other success that is not the file's
    // body, is never saved as the file.
    if (f.status >= 300 || f.status < 200)
        return stop(QString::fromLatin1(f.statusLine));
    if (f.status != 200 && f.status != 206)
        return stop(u"El servidor no ha enviado el archivo "_s + f.url + u": ha respondido \""_s
                    + QString::fromLatin1(f.statusLine) + u"\"."_s);
    if (codedBody(f))
        return stop(u"El servidor ha enviado "_s + f.url + u" codificado ("_s
                    + QString::fromLatin1(f.contentEncoding.trimmed()) + u"), no el archivo tal cual."_s);
    return f.status == 206 ? partialContent(f) : wholeFile(f);
}

QByteArray rangeValidator(const QByteArray &etag, const QByteArray &lastModified)
{
    const QByteArray tag = etag.trimmed();
    if (tag.size() >= 2 && tag.startsWith('"') && tag.endsWith('"'))
        return tag;
    if (!tag.isEmpty())
        return QByteArray(); // weak ("W/") or malformed: not usable with If-Range
    return lastModified.trimmed();
}

QString fileChangedText(const QString &url)
{
    return u"El archivo "_s + url + u" ha cambiado en el servidor: se descarga de nuevo desde el principio."_s;
}

QString certificateProblem(const QString &host, const QList<QSslError> &errors)
{
    const auto has = [&errors](std::initializer_list<QSslError::SslError> kinds) {
        for (const QSslError &e : errors)
            for (const auto kind : kinds)
                if (e.error() == kind)
                    return true;
        return false;
    };
    QString problem;
    if (has({QSslError::CertificateRevoked}))
        problem = u"ha sido revocado."_s;
    else if (has({QSslError::CertificateExpired}))
        problem = u"ha caducado."_s;
    else if (has({QSslError::CertificateNotYetValid}))
        problem = u"no es válido todavía."_s;
    else if (has({QSslError::SelfSignedCertificate, QSslError::SelfSignedCertificateInChain,
                  QSslError::UnableToGetLocalIssuerCertificate, QSslError::UnableToGetIssuerCertificate,
                  QSslError::UnableToVerifyFirstCertificate, QSslError::CertificateUntrusted,
                  QSslError::CertificateRejected}))
        problem = u"no lo firma una autoridad de confianza."_s;
    else if (has({QSslError::HostNameMismatch}))
        problem = u"está emitido para otro servidor."_s;
    else
        problem = u"no es válido: "_s + (errors.isEmpty() ? QString() : errors.first().errorString()) + u"."_s;
    return u"El certificado de "_s + host + u' ' + problem;
}

QString certificateNotice(const QString &host, const QString &url, const QList<QSslError> &errors)
{
    return certificateProblem(host, errors) + u" Se ha detenido la descarga de "_s + url + u"."_s;
}

QString unencryptedRedirectText(const QString &url, const QString &target)
{
    return u"La descarga de "_s + url + u" sigue en una dirección sin cifrar: "_s + target;
}

QString sizeChangedNotice(const QString &url, qint64 oldSize, qint64 newSize)
{
    const QString now = newSize < 0 ? u"desconocido"_s : QString::number(newSize);
    return u"El archivo "_s + url + u" ha cambiado de tamaño en el servidor ("_s + QString::number(oldSize) + u" → "_s
           + now + u" bytes). Se ha detenido la descarga; al reconectar empezará desde el principio."_s;
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

QString lostConnectionText(const QString &url)
{
    return u"Se ha perdido la conexión con "_s + url + u" . Reconectando..."_s;
}
