#pragma once

#include "notify_record.h"
#include "pindle_export.h"

#include <QList>
#include <QObject>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>

namespace pindle {

// Where a tray control's records go. Each control owns one backend, which
// reports mouse actions on the icon as callback mouse messages.
class PINDLE_EXPORT TrayBackend : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrayBackend)
public:
    TrayBackend();
    ~TrayBackend() override;

    virtual void notify(NotifyCommand command, const NotifyRecord &record) = 0;
    // Whether the desktop has a notification area to put icons into.
    virtual bool available() const { return true; }

signals:
    void mouseMessage(quint32 id, quint32 message);
};

// The mouse messages that stand for one activation of the icon. Qt reports
// clicks, not presses and releases, so a click becomes a press and a release.
PINDLE_EXPORT QList<quint32> mouseMessagesFor(QSystemTrayIcon::ActivationReason reason);

using TrayBackendFactory = std::function<std::unique_ptr<TrayBackend>()>;

// Backends for controls created from now on; an empty factory restores the
// system tray.
PINDLE_EXPORT void setTrayBackendFactory(TrayBackendFactory factory);
PINDLE_EXPORT std::unique_ptr<TrayBackend> createTrayBackend();

} // namespace pindle
