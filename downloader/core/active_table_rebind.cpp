// Another address for a stopped download: proven on a worker thread, then
// taken by the slot, which goes on from its position.
#include "core/active_table.h"

#include "core/interval_timer.h"
#include "core/rebind_probe.h"
#include "core/transfer_threads.h"
#include "core/url.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {
constexpr quint32 kRefusedColor = 0x0000FF;
} // namespace

bool ActiveTable::canRebind(int i) const
{
    if (!existe(i))
        return false;
    const Slot &s = slots_[i];
    return s.loaded && waitsForUser(s.state) && s.e.position > 1;
}

void ActiveTable::rebind(int i, const QString &url)
{
    if (!canRebind(i))
        return;
    const Slot &s = slots_[i];
    const QString name = QFileInfo(s.e.file).fileName();
    auto *probe = new RebindProbe({url, s.e.file, s.e.position - 1, s.e.size, s.validator});
    if (!threads_)
        threads_ = std::make_unique<TransferThreads>(TransferThreads::defaultCount());
    probe->moveToThread(threads_->next());
    emit logLine(say(Message::Id::RebindProving, {name, url}), 0);
    connect(probe, &RebindProbe::judged, this,
            [this, i, generation = s.generation, url, name, probe](BindVerdict verdict) {
                probe->deleteLater();
                onRebindJudged(i, generation, url, name, verdict);
            });
    QMetaObject::invokeMethod(probe, tsanQueued([probe] { probe->start(); }), Qt::QueuedConnection);
}

void ActiveTable::onRebindJudged(int i, quint64 generation, const QString &url, const QString &name,
                                 BindVerdict verdict)
{
    // The download left meanwhile, or was started again by the user: the
    // answer is about a download that no longer waits for it.
    if (!existe(i) || slots_[i].generation != generation || !canRebind(i))
        return;
    if (verdict != BindVerdict::Proven) {
        const Message refused = say(Message::Id::RebindRefused, {name, url, QString::number(int(verdict))});
        emit logLine(refused, kRefusedColor);
        emit rebindJudged(i, refused, false);
        return;
    }
    const std::optional<QString> host = hostOf(url);
    if (!host)
        return;
    Slot &s = slots_[i];
    if (Transfer *old = s.transfer) {
        old->disconnect(this);
        closeTransfer(i);
        tsanRelease(old); // acquired by ~Transfer on its thread
        old->deleteLater();
        s.transfer = nullptr;
    }
    s.e.url = url;
    s.redo->setInterval(0);
    s.retriesLeft = settings().vecesv;
    s.idle = 0;
    createTransfer(i, url, *host, GetPort(url), GetPath(url));
    setState(i, DownloadState::Connecting);
    emit progressed(i);
    startTransfer(i);
    saveLater();
    const Message continued = say(Message::Id::RebindContinued, {name, url, QString::number(s.e.position - 1)});
    emit logLine(continued, 0);
    emit rebindJudged(i, continued, true);
}
