// Retries: the per-slot retry timer, its budget and the stall watchdog.
#include "engine/activas.h"

#include "log/notices.h"
#include "platform/interval_timer.h"
#include "rows/download.h"
#include "settings/cfg.h"

using namespace Qt::StringLiterals;

// A countdown already running is left alone, so a watchdog that arms every
// second cannot keep postponing the retry.
void activas::armRetry(int i)
{
    Slot &s = slots_[i];
    if (!s.redo || s.redo->isRunning())
        return;
    const cfg *settings = cfg::instance();
    s.redo->setInterval((settings ? settings->segsv() : 5) * 1000);
}

void activas::watchdog(int i)
{
    Slot &s = slots_[i];
    ++s.idle;
    const cfg *settings = cfg::instance();
    const int limit = settings ? settings->waitv() : 10;
    // While the login dialog asks for this download, nothing is retried.
    if (s.askingLogin)
        return;
    if (s.idle > limit && s.indicador && !s.indicador->redoend()) {
        closeTransfer(i);
        armRetry(i);
    }
}

void activas::redoTick(int i)
{
    Slot &s = slots_[i];
    if (!s.redo || !s.e.used)
        return;
    s.redo->setInterval(0);
    const int left = --s.retriesLeft;

    if (left >= 0) {
        // A fresh attempt gets its own waiting time before the watchdog judges it.
        s.idle = 0;
        s.indicador->setReconectando(true);
        startTransfer(i);
        s.redo->setInterval(0);
        return;
    }
    retriesExhausted(i);
}

void activas::retriesExhausted(int i)
{
    Slot &s = slots_[i];
    const cfg *settings = cfg::instance();
    closeTransfer(i);
    s.indicador->setRedoend(true);
    const QString text = u"Se han agotado los intentos para "_s + s.e.url;
    if (!settings || settings->msgdialog()) {
        PlayNoticeSound(msgFile(u"ding.wav"_s));
        ShowNotice(text, msgFile(u"error.gif"_s));
    }
    if (settings && settings->msgsys())
        emit trayError(text);
    if (settings && settings->delinc())
        removeDownload(i, true);
}
