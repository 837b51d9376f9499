#include "core/http_request.h"

#include "core/url.h"

namespace {
const QByteArray kCrlf = QByteArrayLiteral("\r\n");

// The path goes out as stored, but a blank or a control character would
// break the request line (or smuggle in a header), so those are escaped.
QByteArray requestTarget(const QString &tag)
{
    const QByteArray raw = tag.toUtf8();
    QByteArray out;
    out.reserve(raw.size());
    for (char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b == 0x7F)
            out += '%' + QByteArray::number(b, 16).toUpper().rightJustified(2, '0');
        else
            out += c;
    }
    return out;
}

// A header value with a line break would end the header and start another.
bool oneLine(const QByteArray &value)
{
    return !value.contains('\r') && !value.contains('\n') && !value.contains('\0');
}
} // namespace

QByteArray rangeRequestBytes(const RangeRequest &r)
{
    QByteArray request = "GET /" + requestTarget(r.path) + " HTTP/1.1" + kCrlf + "User-Agent: Tandrel" + kCrlf
                         + "Host: " + hostLine(r.host, r.port, r.secure) + kCrlf + "Connection: close" + kCrlf
                         + "Accept-Encoding: identity" + kCrlf + "Range: bytes=" + QByteArray::number(r.first) + "-"
                         + (r.last >= 0 ? QByteArray::number(r.last) : QByteArray()) + kCrlf;
    // The rest is wanted only if it belongs to the same file as the bytes on disk.
    if (r.first > 0 && !r.validator.isEmpty())
        request += "If-Range: " + r.validator + kCrlf;
    if (!r.referer.isEmpty() && oneLine(r.referer))
        request += "Referer: " + r.referer + kCrlf;
    if (!r.cookie.isEmpty() && oneLine(r.cookie))
        request += "Cookie: " + r.cookie + kCrlf;
    return request + kCrlf;
}
