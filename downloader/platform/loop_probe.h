#pragma once

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QObject>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcLoop)

namespace platform {

// Watches the window thread's event loop while the logging category
// tandrel.loop is on (QT_LOGGING_RULES="tandrel.loop.debug=true"): every
// stretch of work longer than 16 ms between two waits for events is
// reported, with the event that took longest in it, and the longest stretch
// of the run is reported at the end. Off, it costs nothing: it is not made.
class LoopProbe final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LoopProbe)
public:
    static constexpr qint64 kReportMs = 16;

    // A probe on the calling thread's dispatcher when the category is on, else null.
    static LoopProbe *startIfWanted(QObject *parent);
    explicit LoopProbe(QObject *parent);
    ~LoopProbe() override;

    qint64 longestMs() const { return longestNs_ / 1000000; }
    // The stretch running now is the last of the start-up (building the
    // windows, loading the lists): it and those before are told apart.
    void startUpDone() { startUpEnding_ = true; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void awake();
    void aboutToBlock();
    void closeEvent(qint64 now);

    struct Event {
        const char *receiver = nullptr; // class name; null for none
        int type = 0;
        QString text() const;
    };

    bool waiting_ = false;  // the loop waits for events; the next awake starts work
    QElapsedTimer busy_;    // since the loop woke up
    QElapsedTimer life_;    // since the probe began: when a stretch happened
    int events_ = 0;        // delivered in this stretch
    qint64 eventStart_ = 0; // when the event being delivered began, within busy_
    Event event_;           // what it is
    qint64 worstEventNs_ = 0;
    Event worstEvent_;
    qint64 longestNs_ = 0; // after the start-up
    QString longestWhat_;
    qint64 longestStartUpNs_ = 0;
    bool startUp_ = true;
    bool startUpEnding_ = false;
};

} // namespace platform
