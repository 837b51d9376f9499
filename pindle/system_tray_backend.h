#pragma once

#include "pindle_export.h"
#include "tray_backend.h"

class QSystemTrayIcon;

namespace pindle {

// The icon in the desktop's notification area, one QSystemTrayIcon per control.
class PINDLE_EXPORT SystemTrayBackend : public TrayBackend {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SystemTrayBackend)
public:
    SystemTrayBackend();
    ~SystemTrayBackend() override;

    void notify(NotifyCommand command, const NotifyRecord &record) override;
    bool available() const override;

    QSystemTrayIcon *trayIcon() const { return tray_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void activated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon *tray_;
    quint32 id_ = 0;
};

} // namespace pindle
