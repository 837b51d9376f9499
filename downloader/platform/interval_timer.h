#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace platform {

// A timer driven by its interval: 0 means stopped, any other value (re)starts
// it. It carries a text tag, as the download slots keep their retry budget there.
class IntervalTimer : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IntervalTimer)
public:
    explicit IntervalTimer(QObject *parent = nullptr);

    void setInterval(int milliseconds);
    int interval() const { return interval_; }
    bool isRunning() const { return interval_ > 0; }

    QString tag() const { return tag_; }
    void setTag(const QString &tag) { tag_ = tag; }

signals:
    void timeout();

private:
    QTimer timer_;
    int interval_ = 0;
    QString tag_;
};

} // namespace platform
