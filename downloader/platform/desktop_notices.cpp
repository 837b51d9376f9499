#include "platform/desktop_notices.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <utility>

using namespace Qt::StringLiterals;

namespace platform {
namespace {
const QString kService = u"org.freedesktop.Notifications"_s;
const QString kPath = u"/org/freedesktop/Notifications"_s;
const QString kInterface = u"org.freedesktop.Notifications"_s;
// A burst of notices while the service is being asked is kept, not a flood.
constexpr qsizetype kMaxWaiting = 16;

QDBusMessage call(const QString &method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}
} // namespace

DesktopNotices::DesktopNotices(const QDBusConnection &bus, QObject *parent) : QObject(parent), bus_(bus) {}

DesktopNotices::DesktopNotices(QObject *parent) : QObject(parent) {}

void DesktopNotices::setWanted(std::function<bool()> wanted)
{
    wanted_ = std::move(wanted);
}

QString DesktopNotices::body(const QString &text, bool serviceReadsMarkup)
{
    QString b = text;
    b.replace(u"\r\n"_s, u"\n"_s);
    b.replace(u'\r', u'\n');
    return serviceReadsMarkup ? b.toHtmlEscaped() : b;
}

void DesktopNotices::forward(const QString &text)
{
    if (!wanted_ || !wanted_())
        return;
    switch (service_) {
    case Service::Absent:
        return;
    case Service::Present:
        send(text);
        return;
    case Service::Asking:
        if (waiting_.size() < kMaxWaiting)
            waiting_ << text;
        return;
    case Service::Unknown:
        waiting_ << text;
        ask();
        return;
    }
}

// The first question is GetCapabilities: it starts a service the bus only
// knows how to launch, and says whether the body is read as markup.
void DesktopNotices::ask()
{
    if (!bus_)
        bus_ = QDBusConnection::sessionBus();
    if (!bus_->isConnected()) {
        service_ = Service::Absent;
        waiting_.clear();
        emit serviceKnown(false);
        return;
    }
    service_ = Service::Asking;
    auto *watcher = new QDBusPendingCallWatcher(bus_->asyncCall(call(u"GetCapabilities"_s)), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        const bool present = !reply.isError();
        service_ = present ? Service::Present : Service::Absent;
        markup_ = present && reply.value().contains(u"body-markup"_s);
        const QStringList held = std::exchange(waiting_, {});
        if (present) {
            for (const QString &text : held)
                send(text);
        }
        emit serviceKnown(present);
    });
}

void DesktopNotices::send(const QString &text)
{
    QDBusMessage m = call(u"Notify"_s);
    m << u"Tandrel"_s << 0u << u"org.tandrel.Tandrel"_s << u"Tandrel"_s << body(text, markup_) << QStringList()
      << QVariantMap() << -1;
    // Nobody waits for the answer: the id is not needed and a failure is the desktop's.
    bus_->asyncCall(m);
}

DesktopNotices &desktopNotices()
{
    // Never destroyed: its bus connection must not be torn down after the
    // toolkit has already shut its bus thread down at exit.
    static DesktopNotices *notices = new DesktopNotices();
    return *notices;
}

} // namespace platform
