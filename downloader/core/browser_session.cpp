#include "core/browser_session.h"

#include "core/schemes.h"
#include "core/target_path.h"
#include "core/url.h"

#include <QHash>
#include <QHostAddress>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {
QString plainHost(const QString &host)
{
    QString h = host.toLower();
    if (h.endsWith(u'.'))
        h.chop(1);
    return h;
}

// The cookie jar knows the public suffix list: a cookie for a public suffix
// is one it refuses.
class SuffixProbe : public QNetworkCookieJar {
public:
    bool isPublicSuffix(const QString &domain, const QString &host) const
    {
        QNetworkCookie cookie("n", "v");
        cookie.setDomain(u'.' + domain);
        return !validateCookie(cookie, QUrl(u"https://"_s + host + u'/'));
    }
};

QString siteOf(const QString &host)
{
    if (!QHostAddress(host).isNull())
        return host;
    const qsizetype dot = host.indexOf(u'.');
    if (dot < 0)
        return host;
    const QString parent = host.mid(dot + 1);
    if (!parent.contains(u'.') || SuffixProbe().isPublicSuffix(parent, host))
        return host;
    return parent;
}

bool isSecure(const QString &url)
{
    return url.startsWith(u"https://"_s);
}
} // namespace

bool sameSite(const QString &originalHost, const QString &host)
{
    const QString from = plainHost(originalHost);
    const QString to = plainHost(host);
    if (from.isEmpty() || to.isEmpty())
        return false;
    if (from == to)
        return true;
    if (!QHostAddress(to).isNull())
        return false;
    const QString site = siteOf(from);
    return to == site || to.endsWith(u'.' + site);
}

bool isHeaderValue(const QString &value)
{
    for (const QChar c : value)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    return true;
}

SessionHeaders sessionHeaders(const BrowserSession &session, const QString &requestUrl)
{
    if (session.isEmpty() || !isDownloadAddress(requestUrl) || requestUrl.startsWith(u"ftp://"_s))
        return {};
    const QString from = hostOf(session.url).value_or(QString());
    const QString to = hostOf(requestUrl).value_or(QString());
    if (!sameSite(from, to))
        return {};
    // A page's address or its cookies from https must not travel in clear.
    if (isSecure(session.url) && !isSecure(requestUrl))
        return {};
    SessionHeaders h;
    if (isHeaderValue(session.cookies))
        h.cookie = session.cookies.toUtf8();
    if (isHeaderValue(session.referrer) && isPageAddress(session.referrer))
        h.referer = session.referrer.toUtf8();
    return h;
}

void BrowserSessions::remember(const QString &file, const BrowserSession &session)
{
    const QMutexLocker lock(&lock_);
    sessions_.insert(sameFileKey(file), session);
}

BrowserSession BrowserSessions::find(const QString &file, const QString &url) const
{
    const QMutexLocker lock(&lock_);
    const auto it = sessions_.constFind(sameFileKey(file));
    if (it == sessions_.constEnd() || it->url != url)
        return {};
    return *it;
}

void BrowserSessions::forget(const QString &file)
{
    const QMutexLocker lock(&lock_);
    sessions_.remove(sameFileKey(file));
}

BrowserSessions &browserSessions()
{
    static BrowserSessions instance;
    return instance;
}
