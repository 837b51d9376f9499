#include "core/token_bucket.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>

namespace {
constexpr qint64 kSmallestBurst = 4096;
}

qint64 TokenBucket::burst(qint64 bytesPerSecond)
{
    return std::max(kSmallestBurst, bytesPerSecond / 20);
}

void TokenBucket::setRate(qint64 bytesPerSecond)
{
    const QMutexLocker lock(&mutex_);
    const qint64 rate = std::max<qint64>(0, bytesPerSecond);
    if (rate == rate_.load())
        return;
    // A new limit starts from an empty bucket: a lower one holds at once.
    if (rate_.load() == 0 || rate < rate_.load())
        tokens_ = 0;
    rate_.store(rate);
    tokens_ = std::min(tokens_, double(burst(rate)));
}

qint64 TokenBucket::rate() const
{
    return rate_.load();
}

void TokenBucket::refill(qint64 nowMs)
{
    if (lastMs_ >= 0 && nowMs > lastMs_) {
        const qint64 rate = rate_.load();
        tokens_ = std::min(double(burst(rate)), tokens_ + double(rate) * double(nowMs - lastMs_) / 1000.0);
    }
    if (nowMs > lastMs_)
        lastMs_ = nowMs;
}

qint64 TokenBucket::take(qint64 want, qint64 nowMs)
{
    if (!limited() || want <= 0)
        return std::max<qint64>(0, want);
    const QMutexLocker lock(&mutex_);
    refill(nowMs);
    const qint64 granted = std::min(want, qint64(std::floor(tokens_)));
    if (granted <= 0)
        return 0;
    tokens_ -= double(granted);
    return granted;
}

void TokenBucket::giveBack(qint64 bytes)
{
    if (!limited() || bytes <= 0)
        return;
    const QMutexLocker lock(&mutex_);
    tokens_ = std::min(double(burst(rate_.load())), tokens_ + double(bytes));
}

qint64 TokenBucket::waitMs(qint64 nowMs) const
{
    if (!limited())
        return 0;
    const QMutexLocker lock(&mutex_);
    const qint64 rate = rate_.load();
    double tokens = tokens_;
    if (lastMs_ >= 0 && nowMs > lastMs_)
        tokens += double(rate) * double(nowMs - lastMs_) / 1000.0;
    if (tokens >= 1.0)
        return 0;
    // Enough for a worthwhile read, not a byte at a time.
    const double wanted = std::min(double(burst(rate)), double(kSmallestBurst));
    return qint64(std::ceil((wanted - tokens) * 1000.0 / double(rate)));
}

TokenBucket &globalSpeedLimit()
{
    static TokenBucket bucket;
    return bucket;
}

qint64 speedClockMs()
{
    static const QElapsedTimer started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return started.elapsed();
}
