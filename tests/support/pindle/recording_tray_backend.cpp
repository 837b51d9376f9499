#include "recording_tray_backend.h"

namespace pindle {

RecordingTrayBackend::RecordingTrayBackend() : calls_(std::make_shared<QList<Call>>()) {}

RecordingTrayBackend::~RecordingTrayBackend() = default;

void RecordingTrayBackend::notify(NotifyCommand command, const NotifyRecord &record)
{
    calls_->append({command, record});
}

QList<NotifyCommand> RecordingTrayBackend::commands() const
{
    QList<NotifyCommand> result;
    for (const Call &call : *calls_)
        result.append(call.command);
    return result;
}

void RecordingTrayBackend::clear()
{
    calls_->clear();
}

void RecordingTrayBackend::sendMouseMessage(quint32 message, quint32 id)
{
    emit mouseMessage(id, message);
}

void RecordingTrayBackend::activate(QSystemTrayIcon::ActivationReason reason, quint32 id)
{
    const QList<quint32> messages = mouseMessagesFor(reason);
    for (quint32 message : messages)
        emit mouseMessage(id, message);
}

} // namespace pindle
