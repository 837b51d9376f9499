#include "system_tray_backend.h"

#include <QEvent>
#include <QSystemTrayIcon>

namespace pindle {

SystemTrayBackend::SystemTrayBackend() : tray_(new QSystemTrayIcon(this))
{
    connect(tray_, &QSystemTrayIcon::activated, this, &SystemTrayBackend::activated);
    tray_->installEventFilter(this);
}

// The QSystemTrayIcon child takes its icon out of the tray as it goes.
SystemTrayBackend::~SystemTrayBackend() = default;

void SystemTrayBackend::notify(NotifyCommand command, const NotifyRecord &record)
{
    switch (command) {
    case NotifyCommand::Add:
        // A fresh icon: what the record leaves out is not carried over from
        // an earlier one.
        id_ = record.id;
        tray_->setIcon(record.flags & FlagIcon ? record.icon : QIcon());
        tray_->setToolTip(record.flags & FlagTip ? record.tip : QString());
        tray_->show();
        break;
    case NotifyCommand::Modify:
        if (record.flags & FlagIcon)
            tray_->setIcon(record.icon);
        if (record.flags & FlagTip)
            tray_->setToolTip(record.tip);
        break;
    case NotifyCommand::Delete:
        tray_->hide();
        break;
    }
}

bool SystemTrayBackend::available() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

// Qt reports no mouse movement over a tray icon; where the tray forwards the
// tool-tip request (the X11 tray) it tells that the mouse rests on the icon.
bool SystemTrayBackend::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == tray_ && event->type() == QEvent::ToolTip && tray_->isVisible())
        emit mouseMessage(id_, MsgMouseMove);
    return TrayBackend::eventFilter(watched, event);
}

void SystemTrayBackend::activated(QSystemTrayIcon::ActivationReason reason)
{
    if (!tray_->isVisible())
        return;
    const QList<quint32> messages = mouseMessagesFor(reason);
    for (quint32 message : messages)
        emit mouseMessage(id_, message);
}

} // namespace pindle
