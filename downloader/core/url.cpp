#include "core/url.h"

#include "core/program_folder.h"

#include <QStringList>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

// The value of the number at the start of the text: blanks skipped, an
// optional sign, then digits; anything else ends it and no digits give 0.
// Saturates instead of overflowing.
qint64 leadingNumber(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    qint64 value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        const int digit = text[i].unicode() - u'0';
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return negative ? -value : value;
}

// Everything after the first "//". Without one, the search result 0 plus the
// two skipped characters still drops the first character, as the splitting
// has always done.
QString afterSlashes(const QString &url)
{
    return url.mid(url.indexOf(u"//"_s) + 2);
}

} // namespace

std::optional<QString> hostOf(const QString &url)
{
    if (!url.startsWith(u"http://"_s) && !url.startsWith(u"https://"_s) && !url.startsWith(u"ftp:"_s))
        return std::nullopt;
    const QString rest = afterSlashes(url);
    // The colon is looked for over the whole remainder first: a colon in the
    // path ends the host there too.
    qsizetype cut = rest.indexOf(u':');
    if (cut < 0)
        cut = rest.indexOf(u'/');
    return cut < 0 ? rest : rest.left(cut);
}

QString GetPath(const QString &url)
{
    const QString rest = afterSlashes(url);
    const qsizetype slash = rest.indexOf(u'/');
    if (slash < 0)
        return u"/"_s;
    return rest.mid(slash + 1);
}

QString urlFileName(const QString &url)
{
    const qsizetype slashes = url.indexOf(u"//"_s);
    if (slashes < 0)
        return u"index.html"_s;
    QString rest = url.mid(slashes + 2);
    const qsizetype hostEnd = rest.indexOf(u'/');
    if (hostEnd >= 0)
        rest = rest.mid(hostEnd + 1);

    // A slash at the very start alone does not count: the whole text is the name.
    const qsizetype last = rest.lastIndexOf(u'/');
    QString name = last > 0 ? rest.mid(last + 1) : rest;
    if (name.isEmpty())
        return u"index.html"_s;
    name.replace(u"%20"_s, u" "_s);
    return name;
}

QString GetFileName(const QString &url)
{
    QString name = urlFileName(url);

    // The name is joined to the folder the user chose; it must not climb out
    // of it nor name a sub-folder (backslashes count: paths may be Windows ones).
    name.replace(u'/', u'_');
    name.replace(u'\\', u'_');
    if (name.isEmpty() || name == u"."_s || name == u".."_s)
        return u"index.html"_s;
    return name;
}

quint16 GetPort(const QString &url)
{
    const qsizetype slashes = url.indexOf(u"//"_s);
    if (slashes < 0)
        return 80;
    const QString scheme = url.left(slashes);
    const QString rest = url.mid(slashes + 2);
    const qsizetype colon = rest.indexOf(u':');
    if (colon >= 0) {
        const qsizetype slash = rest.indexOf(u'/', colon);
        const qsizetype end = slash < 0 ? rest.size() : slash;
        const qint64 port = leadingNumber(QStringView(rest).mid(colon + 1, end - colon - 1));
        // A number that is no TCP port must not wrap around into another port.
        return port >= 0 && port <= 65535 ? quint16(port) : 0;
    }
    if (scheme == u"http:"_s)
        return 80;
    if (scheme == u"https:"_s)
        return 443;
    if (scheme == u"ftp:"_s)
        return 21;
    return 0;
}

void NormalizeUrl(QString &url)
{
    if (url.isEmpty())
        return;
    QString prefix;
    QString rest = url;
    if (rest.startsWith(u"http://"_s)) {
        prefix = u"http://"_s;
        rest.remove(0, 7);
    }
    if (rest.startsWith(u"https://"_s)) {
        prefix = u"https://"_s;
        rest.remove(0, 8);
    }
    if (rest.startsWith(u"ftp://"_s)) {
        prefix = u"ftp://"_s;
        rest.remove(0, 6);
    }

    constexpr qsizetype kMaxSegments = 256;
    const QStringList segments = rest.split(u'/');
    if (segments.size() > kMaxSegments)
        throw UrlError("la dirección tiene demasiados segmentos");

    QStringList kept;
    for (const QString &segment : segments) {
        if (segment == u".."_s) {
            if (kept.isEmpty())
                throw UrlError("«..» antes del primer segmento de la dirección");
            kept.removeLast();
        } else {
            kept.append(segment);
        }
    }
    url = prefix + kept.join(u'/');
}

QByteArray hostLine(const QString &host, quint16 port, bool secure)
{
    QByteArray line = host.toUtf8();
    if (port != (secure ? 443 : 80))
        line += ':' + QByteArray::number(port);
    return line;
}

QString GetExtension(const QString &name)
{
    const qsizetype first = name.indexOf(u'.');
    if (first < 0)
        return QString();
    if (first == 0)
        return name;
    return name.mid(name.lastIndexOf(u'.') + 1);
}

void ParsePassiveReply(QString &text, QString &address, int &port)
{
    constexpr int kMaxNumbers = 8;
    QList<qint64> numbers;
    const auto store = [&numbers](QStringView piece) {
        constexpr qint64 kMin = std::numeric_limits<qint32>::min();
        constexpr qint64 kMax = std::numeric_limits<qint32>::max();
        numbers.append(qBound(kMin, leadingNumber(piece), kMax));
    };
    qsizetype comma;
    while ((comma = text.indexOf(u',')) >= 0) {
        store(QStringView(text).left(comma));
        text.remove(0, comma + 1);
    }
    store(text);

    address.clear();
    port = 0;
    // Too few numbers for an address and a port, or more than a reply holds:
    // no address, so the caller's connection fails instead of going astray.
    if (numbers.size() < 3 || numbers.size() > kMaxNumbers)
        return;

    const qsizetype n = numbers.size();
    QStringList parts;
    for (qsizetype i = 0; i < n - 2; ++i)
        parts.append(QString::number(numbers[i]));
    address = parts.join(u'.');
    const qint64 value = numbers[n - 2] * 256 + numbers[n - 1];
    port = value >= 0 && value <= 65535 ? int(value) : 0;
}
