#pragma once

#include <QMutex>
#include <QtGlobal>

#include <atomic>

// A speed limit: bytes a second handed out to the readers of sockets. A
// reader that gets nothing leaves the socket unread, so the sender is slowed
// by TCP and nothing piles up here. Times are milliseconds on a monotonic
// clock the caller gives, so the rule can be checked without waiting. Safe to
// share between threads.
class TokenBucket {
public:
    // 0 is no limit.
    void setRate(qint64 bytesPerSecond);
    qint64 rate() const;
    // Without a limit a reader takes what it wants at no cost: the hot path.
    bool limited() const { return rate_.load(std::memory_order_relaxed) > 0; }

    // Up to want bytes may be read now; 0 when the bucket is empty. Without a
    // limit, all of them.
    qint64 take(qint64 want, qint64 nowMs);
    // Bytes taken but not read after all.
    void giveBack(qint64 bytes);
    // How long until a read may take something again (0 without a limit).
    qint64 waitMs(qint64 nowMs) const;

    // The most one read may take: a twentieth of a second's worth, at least
    // a small packet, so the rate holds over any second.
    static qint64 burst(qint64 bytesPerSecond);

private:
    void refill(qint64 nowMs);

    mutable QMutex mutex_;
    std::atomic<qint64> rate_ = 0; // written under the mutex
    double tokens_ = 0;
    qint64 lastMs_ = -1;
};

// The limit every download shares ("Límite de velocidad" in the settings).
TokenBucket &globalSpeedLimit();

// Milliseconds on the clock the limits run on.
qint64 speedClockMs();
