// Retries: the per-slot retry timer, its budget and the stall watchdog.
#include "core/active_table.h"

#include "core/figures.h"
#include "core/interval_timer.h"
#include "core/retry_after.h"
#include "core/token_bucket.h"

using namespace Qt::StringLiterals;

// A countdown already running is left alone, so a watchdog that arms every
// second cannot keep postponing the retry.
void ActiveTable::armRetry(int i, int serverSeconds)
{
    Slot &s = slots_[i];
    if (!s.redo || s.redo->isRunning())
        return;
    s.redo->setInterval(retryDelaySeconds(settings().segsv, serverSeconds) * 1000);
}

void ActiveTable::watchdog(int i, int waitSeconds)
{
    Slot &s = slots_[i];
    ++s.idle;
    // While the login is asked for this download, nothing is retried.
    if (s.state == DownloadState::AskingLogin)
        return;
    if (s.idle > waitSeconds && !waitsForUser(s.state)) {
        closeTransfer(i);
        setState(i, DownloadState::WaitingRetry);
        armRetry(i);
    }
}

void ActiveTable::redoTick(int i)
{
    Slot &s = slots_[i];
    if (!s.redo || !s.e.used)
        return;
    s.redo->setInterval(0);
    if (--s.retriesLeft >= 0) {
        // A fresh attempt gets its own waiting time before the watchdog judges it.
        s.idle = 0;
        setState(i, DownloadState::Connecting);
        startTransfer(i);
        return;
    }
    retriesExhausted(i);
}

void ActiveTable::retriesExhausted(int i)
{
    closeTransfer(i);
    setState(i, DownloadState::Exhausted);
    emit exhausted(i);
    if (settings().delinc && existe(i))
        removeSlot(i, true);
}

void ActiveTable::elapsedTick()
{
    // One snapshot a tick: the window's settings are read from its controls.
    const SettingsValues v = settings();
    const int waitSeconds = v.waitv;
    // A changed limit holds within a second.
    globalSpeedLimit().setRate(qint64(v.speedLimitKb) * 1024);
    const int last = highestLoaded();
    for (int i = 1; i <= last; ++i) {
        Slot &s = slots_[i];
        if (!s.e.used || !s.loaded || isFinished(s.state))
            continue;
        ++s.e.elapsed;
        watchdog(i, waitSeconds);
    }
}

// Each download's mean speed since it connected; only the ones moving data
// count in the total.
qint32 ActiveTable::speedTick()
{
    qint32 total = 0;
    const int last = highestLoaded();
    for (int i = 1; i <= last; ++i) {
        Slot &s = slots_[i];
        if (!s.e.used || !s.loaded)
            continue;
        const qint32 d = s.e.elapsed - s.e.elapsedAtConnect;
        double average = 0;
        if (d > 0)
            average = roundHalfEven(
                (double((s.e.written > 0 ? s.e.written + 1 : s.e.position) - s.e.positionAtConnect) / 1024.0) / d, 2);
        if (s.state == DownloadState::Transferring) {
            s.e.speed = qint32(roundHalfEven(average));
            total += s.e.speed;
        }
    }
    return total;
}
