#include "links/link_scanner.h"

#include "core/schemes.h"
#include "core/url.h"

using namespace Qt::StringLiterals;

namespace {

// Where an unquoted value ends: the first of the four delimiters at or after
// `from`, or -1. One pass that stops at the first hit, so a page lacking one
// of the delimiters is not scanned to its end for every link.
qsizetype unquotedEnd(QStringView page, qsizetype from)
{
    for (qsizetype i = from; i < page.size(); ++i) {
        const QChar c = page[i];
        if (c == u'"' || c == u'>' || c == u'<' || c == u' ')
            return i;
    }
    return -1;
}

} // namespace

QString foundText(qsizetype total)
{
    return QString::number(total) + u" direcciones encontradas"_s;
}

QStringList getlinks(QStringView page, const QString &address, ScanMode mode, const QStringList &ext, LinkLists &lists,
                     const ScanProgress &progress)
{
    const QString base = GetMainWeb(address);
    QList<QStringView> tags;
    if (mode != ScanMode::ImageOnly)
        tags.append(kLinkTag);
    if (mode != ScanMode::LinkOnly)
        tags.append(kImageTag);

    // A scan the caller ended does not go on with the next tag.
    bool ended = false;
    ScanProgress watched{nullptr, progress.every};
    if (progress.report)
        watched.report = [&](qsizetype total) {
            ended = !progress.report(total);
            return !ended;
        };
    QStringList errors;
    for (QStringView tag : tags) {
        const QString error = Add_Link(page, tag, base, ext, lists, watched);
        if (ended)
            break;
        if (!error.isEmpty())
            errors.append(error);
    }
    return errors;
}

QString Add_Link(QStringView page, QStringView tag, const QString &base, const QStringList &ext, LinkLists &lists,
                 const ScanProgress &progress)
{
    qsizetype from = 0;
    qsizetype sinceReport = 0;
    for (;;) {
        const qsizetype p = page.indexOf(tag, from);
        if (p < 0)
            return QString();
        const qsizetype v = p + tag.size();

        // Every search below starts at the value itself, so an empty value or
        // a one-character one is closed where it really ends.
        qsizetype end;
        QString url;
        if (v < page.size() && page[v] == u'"') {
            end = page.indexOf(u'"', v + 1);
            if (end >= 0)
                url = page.mid(v + 1, end - v - 1).toString();
        } else {
            end = unquotedEnd(page, v);
            if (end >= 0)
                url = page.mid(v, end - v).toString();
        }
        if (end < 0)
            return u"Falta el delimitador que cierra la dirección de la posición %1."_s.arg(v + 1);
        from = end;

        if (url.startsWith(u'/'))
            url.remove(0, 1);
        if (!isDownloadAddress(url))
            url.prepend(base);
        try {
            NormalizeUrl(url);
        } catch (const UrlError &e) {
            return u"Dirección incorrecta (%1): %2"_s.arg(QString::fromUtf8(e.what()), url.left(200));
        }

        if (lists.total() >= kMaxAddresses)
            return u"Demasiadas direcciones: solo caben %1."_s.arg(kMaxAddresses);
        if (SearchExtension(url, ext))
            lists.no.append(url);
        else
            lists.si.append(url);

        if (progress.report && ++sinceReport >= qMax<qsizetype>(1, progress.every)) {
            sinceReport = 0;
            if (!progress.report(lists.total()))
                return QString();
        }
    }
}

bool SearchExtension(QStringView address, const QStringList &ext)
{
    for (const QString &item : ext) {
        if (address.endsWith(item))
            return false;
    }
    return true;
}

QString GetMainWeb(const QString &address)
{
    const qsizetype slashes = address.indexOf(u"//"_s);
    const qsizetype last = address.lastIndexOf(u'/');
    // An address with a host and no path has the host's root as its folder;
    // cutting at the scheme's slashes would lose the host.
    if (slashes >= 0 && last <= slashes + 1)
        return address + u'/';
    return address.left(last + 1);
}
