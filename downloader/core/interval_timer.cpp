#include "core/interval_timer.h"

namespace platform {

IntervalTimer::IntervalTimer(QObject *parent) : QObject(parent)
{
    connect(&timer_, &QTimer::timeout, this, &IntervalTimer::timeout);
}

void IntervalTimer::setInterval(int milliseconds)
{
    interval_ = milliseconds > 0 ? milliseconds : 0;
    if (interval_ == 0)
        timer_.stop();
    else
        timer_.start(interval_);
}

} // namespace platform
