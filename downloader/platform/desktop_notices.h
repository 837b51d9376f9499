#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

namespace platform {

// Hands notices to the desktop's notification service
// (org.freedesktop.Notifications) while the program's window is out of
// sight, so a user who hid it to the tray still hears of a failed download.
// Every call is asynchronous: the window thread never waits on the bus.
// The service is asked once for what it can do; without a bus or without
// the service nothing is sent again and nothing is printed.
class DesktopNotices final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopNotices)
public:
    explicit DesktopNotices(const QDBusConnection &bus, QObject *parent = nullptr);
    // On the session bus, reached only when a notice is first wanted.
    explicit DesktopNotices(QObject *parent = nullptr);

    // Whether a notice should go to the desktop now (the program installs
    // "the main window is hidden or minimised"); without one, never.
    void setWanted(std::function<bool()> wanted);
    // Sends the text when wanted and the service is there (or not yet asked).
    void forward(const QString &text);

    enum class Service { Unknown, Asking, Present, Absent };
    Service service() const { return service_; }

    // The body as sent: line ends as the desktop expects them, and the text
    // escaped when the service reads markup, so an address with & or < shows
    // as written.
    static QString body(const QString &text, bool serviceReadsMarkup);

signals:
    // The service answered the first question, or turned out to be missing.
    void serviceKnown(bool present);

private:
    void ask();
    void send(const QString &text);

    std::optional<QDBusConnection> bus_;
    std::function<bool()> wanted_;
    Service service_ = Service::Unknown;
    bool markup_ = false;
    QStringList waiting_; // what came while the service was being asked
};

// The program's own, on the session bus; created on first use.
DesktopNotices &desktopNotices();

} // namespace platform
