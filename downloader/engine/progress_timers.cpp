// The two one-second ticks: elapsed time (with the stall watchdog) and speeds.
#include "engine/activas.h"

#include "engine/figures.h"
#include "engine/queue_hooks.h"
#include "rows/download.h"

#include <QLabel>

using namespace Qt::StringLiterals;

void activas::tiempotransTick()
{
    const int last = highestLoaded();
    for (int i = 1; i <= last; ++i) {
        Slot &s = slots_[i];
        if (!s.e.used || !s.indicador || s.indicador->finalizado())
            continue;
        ++s.e.elapsed;
        watchdog(i);
    }
    if (selected_ > 0 && existe(selected_))
        tiempou_->setText(formatElapsed(slots_[selected_].e.elapsed));
}

void activas::updateTick()
{
    qint32 total = 0;
    const int last = highestLoaded();
    for (int i = 1; i <= last; ++i) {
        Slot &s = slots_[i];
        if (!s.e.used || !s.indicador)
            continue;
        const qint32 d = s.e.elapsed - s.e.elapsedAtConnect;
        double average = 0;
        if (d > 0)
            average = roundHalfEven((double(s.e.position - s.e.positionAtConnect) / 1024.0) / d, 2);
        if (!s.indicador->Reconectando() && !s.indicador->finalizado()) {
            s.e.speed = qint32(roundHalfEven(average));
            total += qint32(roundHalfEven(average));
        }
    }

    if (selected_ > 0 && existe(selected_)) {
        const Slot &s = slots_[selected_];
        qint64 left = 0;
        if (s.e.speed > 0)
            left = roundHalfEven((double(s.e.size - s.e.position) / 1024.0) / s.e.speed);
        tiemporest_->setText(s.indicador && s.indicador->finalizado() ? u"00:00"_s : formatElapsed(left));
        velmedia_->setText(QString::number(s.e.speed) + u" Kb/seg"_s);
    }

    const int rows = loadedRows() - 1;
    QString mean = u"0"_s;
    if (total > 0 && rows > 0)
        mean = numberText(roundHalfEven(double(total) / rows, 2));
    emit statusText(2, u"Vel. Total: "_s + QString::number(total) + u"Kb/seg||Vel. Media: "_s + mean + u" Kb/seg"_s);
    emit speedSample(total, QString::number(total) + u" Kb/seg"_s);
    emit statusText(1, countsText());
}

QString activas::countsText() const
{
    const int rows = loadedRows() - 1;
    const int queued = queue_ ? queue_->loadedRows() - 1 : 0;
    return QString::number(rows) + u"/"_s + QString::number(rows + queued);
}
