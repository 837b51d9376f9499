#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>

// What the user's web browser knew of a link it handed over: the page it was
// on and the cookies it would send for it. Kept in memory only, with the
// running download; the list files never hold it.
struct BrowserSession {
    QString url;      // the address the browser read the cookies for
    QString referrer; // the page the link was on
    QString cookies;  // "name=value; name=value", as the browser would send them
    bool isEmpty() const { return referrer.isEmpty() && cookies.isEmpty(); }
};

// The headers of one request that come from the session; empty when none goes.
struct SessionHeaders {
    QByteArray cookie;
    QByteArray referer;
    bool operator==(const SessionHeaders &) const = default;
};

// The session goes only where the browser itself would have sent it: the
// link's own host, or after a redirect a host of the same site; never from
// https down to plain http.
SessionHeaders sessionHeaders(const BrowserSession &session, const QString &requestUrl);

// The same site: the same host, or the original host's parent domain (two
// labels at least, and no public suffix such as "co.uk") or one under it.
// An IP address is only ever its own site.
bool sameSite(const QString &originalHost, const QString &host);

// A header value the browser sent: printable, one line. A CR or LF would let
// it add headers of its own.
bool isHeaderValue(const QString &value);

// The sessions of the downloads the browser handed over, by target file and
// address: a download finds its own again whenever it (re)connects. Memory
// only: after a restart the download goes on without it.
class BrowserSessions {
public:
    void remember(const QString &file, const BrowserSession &session);
    // The session kept for this file, if it was handed over for this address.
    BrowserSession find(const QString &file, const QString &url) const;
    void forget(const QString &file);

private:
    mutable QMutex lock_; // cheap, and safe whichever thread asks
    QHash<QString, BrowserSession> sessions_;
};
BrowserSessions &browserSessions();
