#pragma once

#include "tray_backend.h"

#include <QList>

#include <memory>

namespace pindle {

// A tray that only remembers what it was told, for tests of the control and
// of the windows that hold it.
class RecordingTrayBackend : public TrayBackend {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RecordingTrayBackend)
public:
    struct Call {
        NotifyCommand command;
        NotifyRecord record;
    };

    RecordingTrayBackend();
    ~RecordingTrayBackend() override;

    void notify(NotifyCommand command, const NotifyRecord &record) override;

    const QList<Call> &calls() const { return *calls_; }
    // The same list, still readable after the backend and its control are gone.
    std::shared_ptr<const QList<Call>> sharedCalls() const { return calls_; }
    QList<NotifyCommand> commands() const;
    void clear();

    // What the user does to the icon, as a raw mouse message or as Qt reports it.
    void sendMouseMessage(quint32 message, quint32 id = 0);
    void activate(QSystemTrayIcon::ActivationReason reason, quint32 id = 0);

private:
    std::shared_ptr<QList<Call>> calls_;
};

} // namespace pindle
