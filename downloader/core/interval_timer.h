#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace platform {

// A timer driven by its interval: 0 means stopped, any other value (re)starts it.
class IntervalTimer : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IntervalTimer)
public:
    explicit IntervalTimer(QObject *parent = nullptr);

    void setInterval(int milliseconds);
    int interval() const { return interval_; }
    bool isRunning() const { return interval_ > 0; }

signals:
    void timeout();

private:
    QTimer timer_;
    int interval_ = 0;
};

} // namespace platform
