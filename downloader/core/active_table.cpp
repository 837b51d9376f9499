#include "core/active_table.h"

#include "core/browser_marks.h"
#include "core/figures.h"
#include "core/ftp_transfer.h"
#include "core/http_transfer.h"
#include "core/interval_timer.h"
#include "core/login_hooks.h"
#include "core/queue_hooks.h"
#include "core/segment_file.h"
#include "core/segmented_http_transfer.h"
#include "core/target_path.h"
#include "core/token_bucket.h"
#include "core/transfer_threads.h"
#include "core/tsan_sync.h"
#include "core/url.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {
const QString kWrongLogin = u"Usuario incorrecto."_s;
// The login the add dialog proposes, for an ftp address nobody gave one for
// (an http server's redirect).
const QString kAnonymousUser = u"anonymous"_s;
const QString kAnonymousPassword = u"guestpw"_s;
} // namespace

ActiveTable::ActiveTable(QObject *parent) : QObject(parent)
{
    tick_ = new QTimer(this);
    tick_->setInterval(1000);
    connect(tick_, &QTimer::timeout, this, [this] {
        elapsedTick();
        emit ticked(speedTick());
    });
    tick_->start();
}

ActiveTable::~ActiveTable()
{
    for (int i = 1; i < kSlots; ++i)
        if (slots_[i].loaded)
            unloadSlot(i);
}

int ActiveTable::checked(int i)
{
    if (i < 0 || i >= kSlots)
        throw std::out_of_range("download slot out of range");
    return i;
}

void ActiveTable::setSpeedLimit(int i, int kb)
{
    Slot &s = slots_[checked(i)];
    if (!s.e.used)
        return;
    s.ownLimitKb = std::max(0, kb);
    if (Transfer *t = s.transfer)
        onTransferThread(t, [t, bytes = qint64(s.ownLimitKb) * 1024] { t->setOwnLimit(bytes); });
}

void ActiveTable::setSettings(std::function<SettingsValues()> source)
{
    settings_ = std::move(source);
    globalSpeedLimit().setRate(qint64(settings().speedLimitKb) * 1024);
}

SettingsValues ActiveTable::settings() const
{
    return settings_ ? settings_() : SettingsValues{};
}

void ActiveTable::setState(int i, DownloadState state, StopReason reason)
{
    Slot &s = slots_[i];
    if (s.state == state && s.stopReason == reason)
        return;
    qCDebug(stateLog) << i << ":" << stateName(s.state) << "->" << stateName(state);
    s.state = state;
    s.stopReason = reason;
    emit stateChanged(i, state);
}

int ActiveTable::loadedRows() const
{
    int n = 1; // slot 0
    for (int i = 1; i < kSlots; ++i)
        n += slots_[i].loaded;
    return n;
}

int ActiveTable::highestLoaded() const
{
    for (int i = kSlots - 1; i > 0; --i)
        if (slots_[i].loaded)
            return i;
    return 0;
}

bool ActiveTable::allFinished(int *count) const
{
    int n = 0;
    for (int i = 1; i < kSlots; ++i) {
        const Slot &s = slots_[i];
        if (!s.e.used || !s.loaded)
            continue;
        if (!isFinished(s.state))
            return false;
        ++n;
    }
    if (count)
        *count = n;
    return true;
}

bool ActiveTable::targetTaken(const QString &file) const
{
    const QString wanted = sameFileKey(file);
    if (deleting_.contains(wanted))
        return true;
    for (int i = 1; i < kSlots; ++i) {
        const Slot &s = slots_[i];
        if (s.e.used && i != handingOver_ && sameFileKey(s.e.file) == wanted)
            return true;
    }
    return queue_ && queue_->holdsTarget(file);
}

ActiveTable::Added ActiveTable::add(const DownloadEntry &entry, bool save)
{
    // Two downloads writing one file would leave a file that is neither.
    const auto refuse = [&](Refusal why) {
        emit refused(entry, why);
        return Added{0, why};
    };
    if (targetTaken(entry.file))
        return refuse(Refusal::TargetTaken);
    int i = 1;
    while (i < kSlots && slots_[i].loaded)
        ++i;
    if (i >= kSlots)
        return refuse(Refusal::TableFull);
    const std::optional<QString> host = hostOf(entry.url);
    if (!host)
        return refuse(Refusal::BadAddress);

    Slot &s = slots_[i];
    s.e = DownloadEntry();
    s.e.url = entry.url;
    s.e.file = entry.file;
    s.e.position = entry.position;
    s.e.size = entry.size;
    s.e.elapsed = entry.elapsed;
    s.e.elapsedAtConnect = entry.elapsed;
    s.e.positionAtConnect = entry.position;
    s.e.ftpuser = entry.ftpuser;
    s.e.ftppass = entry.ftppass;
    s.e.remember = entry.remember;
    s.e.resumable = entry.resumable;
    s.idle = 0;
    s.received = 0;
    s.state = DownloadState::Connecting;
    s.stopReason = StopReason::None;
    s.ownLimitKb = 0;
    s.validator.clear();
    ++s.generation;
    s.retriesLeft = settings().vecesv;
    s.loaded = true;
    s.redo = new platform::IntervalTimer(this);
    connect(s.redo, &platform::IntervalTimer::timeout, this, [this, i] { redoTick(i); });
    createTransfer(i, entry.url, *host, GetPort(entry.url), GetPath(entry.url));

    // A download whose every byte is already on disk is shown finished
    // instead of being fetched again. A side file beside it means the file
    // was sized before its bytes arrived: its length proves nothing.
    const bool complete =
        entry.size > 0 && QFileInfo(entry.file).size() == entry.size && !QFile::exists(segmentFilePath(entry.file));
    s.e.used = true;
    emit slotLoaded(i);
    if (complete) {
        s.e.position = entry.size + 1;
        setState(i, DownloadState::Finished);
        emit progressed(i);
    } else {
        startTransfer(i);
        emit stateChanged(i, DownloadState::Connecting);
    }
    if (save)
        saveLater();
    return {i, Refusal::None};
}

// The transfer runs on a worker thread; what it tells arrives here queued,
// with the attempt it belongs to.
void ActiveTable::createTransfer(int i, const QString &url, const QString &host, quint16 port, const QString &path)
{
    Slot &s = slots_[i];
    TransferJob job;
    job.url = url;
    job.file = s.e.file;
    job.size = s.e.size;
    job.position = s.e.position;
    job.resumable = s.e.resumable;
    job.host = host;
    job.port = port;
    job.path = path;
    job.ftpuser = s.e.ftpuser;
    job.ftppass = s.e.ftppass;
    job.session = browserSessions().find(s.e.file, s.e.url);
    // The session is memory only; the mark on disk outlives a restart, so a
    // refusal can say to fetch the link again from the browser.
    if (!job.session.isEmpty())
        browserMarks().mark(s.e.file);
    else
        job.sessionLost = browserMarks().has(s.e.file);
    if (url.startsWith(u"ftp://"_s)) {
        if (job.ftpuser.isEmpty()) {
            job.ftpuser = kAnonymousUser;
            job.ftppass = kAnonymousPassword;
        }
        s.transfer = new FtpTransfer(job);
    } else if (const int connections = settings().connections; connections > 1) {
        s.transfer = new SegmentedHttpTransfer(job, connections);
    } else {
        s.transfer = new HttpTransfer(job);
    }
    if (!threads_)
        threads_ = std::make_unique<TransferThreads>(TransferThreads::defaultCount());
    s.transfer->moveToThread(threads_->next());
    if (s.ownLimitKb > 0)
        onTransferThread(s.transfer, [t = s.transfer, bytes = qint64(s.ownLimitKb) * 1024] { t->setOwnLimit(bytes); });
    connect(s.transfer, &Transfer::reported, this, [this, i](const TransferEvent &event) {
        event.handoff.arrived();
        onEvent(i, event);
    });
}

// An http server sent the download to an ftp address: an FTP client takes
// over in the same slot, for the same file, on the same retry budget. The
// HTTP transfer has closed the file already. The entry keeps its own
// address, so the list, a requeue or a restart asks the http server again,
// which may send it elsewhere by then.
void ActiveTable::hopToFtp(int i, const QString &url)
{
    Slot &s = slots_[i];
    const std::optional<QString> host = hostOf(url);
    if (!host || !s.transfer)
        return;
    Transfer *old = s.transfer;
    old->disconnect(this);
    closeTransfer(i);
    tsanRelease(old); // acquired by ~Transfer on its thread
    old->deleteLater();
    createTransfer(i, url, *host, GetPort(url), GetPath(url));
    startTransfer(i);
}

// The timer and the transfer go together. They may be unloaded from inside
// one of their own signals, so they are disconnected at once and deleted
// later; the transfer closes its file as it goes.
void ActiveTable::unloadSlot(int i, bool deleteFile)
{
    Slot &s = slots_[i];
    if (s.transfer) {
        Transfer *t = s.transfer;
        t->disconnect(this);
        if (deleteFile) {
            // The file is deleted where it is open, once closed; the table
            // goes on meanwhile and lets nobody write it until then.
            const QString key = sameFileKey(s.e.file);
            deleting_.insert(key);
            connect(t, &Transfer::reported, this, [this, key](const TransferEvent &event) {
                event.handoff.arrived();
                if (event.kind == TransferEvent::Kind::FileDeleted)
                    deleting_.remove(key);
            });
        }
        closeTransfer(i, deleteFile);
        tsanRelease(t); // acquired by ~Transfer on its thread
        t->deleteLater();
    } else if (deleteFile) {
        QFile::remove(s.e.file);
    }
    if (s.redo) {
        s.redo->disconnect(this);
        s.redo->setInterval(0);
        s.redo->deleteLater();
    }
    s.transfer = nullptr;
    s.redo = nullptr;
    const bool wasLoaded = s.loaded;
    s.loaded = false;
    if (askingLogin_ == i)
        askingLogin_ = 0;
    if (wasLoaded)
        emit slotUnloaded(i);
}

void ActiveTable::removeSlot(int i, bool deleteFile)
{
    slots_[i].e.used = false;
    unloadSlot(i, deleteFile);
}

void ActiveTable::remove(int i, bool deleteFile)
{
    if (!existe(i))
        return;
    // A pause hands the download to the queue first: it keeps its session.
    if (!queue_ || !queue_->holdsTarget(slots_[i].e.file))
        forgetSession(slots_[i].e.file);
    removeSlot(i, deleteFile);
    saveLater();
}

// A download that ends or leaves the table needs its browser's session no more.
void ActiveTable::forgetSession(const QString &file)
{
    browserSessions().forget(file);
    browserMarks().unmark(file);
}

void ActiveTable::removeFinished()
{
    for (int i = 1; i <= highestLoaded(); ++i) {
        Slot &s = slots_[i];
        if (!s.e.used || !s.loaded || !isFinished(s.state))
            continue;
        s.e.file.clear();
        removeSlot(i);
    }
}

void ActiveTable::startTransfer(int i)
{
    Slot &s = slots_[i];
    if (!s.transfer)
        return;
    Transfer *t = s.transfer;
    onTransferThread(t, [t, attempt = ++s.attempt] { t->connectNow(attempt); });
}

// Whatever the transfer still says about the connection it had is stale
// from now on.
void ActiveTable::closeTransfer(int i, bool deleteFile)
{
    Slot &s = slots_[i];
    ++s.attempt;
    s.e.speed = 0;
    if (!s.transfer)
        return;
    Transfer *t = s.transfer;
    onTransferThread(t, [t, deleteFile] { deleteFile ? t->closeAndDelete() : t->closeAll(); });
}

void ActiveTable::mirror(int i, const TransferFigures &f)
{
    Slot &s = slots_[i];
    // An FTP client an http address was redirected to leaves the address alone.
    if (!f.url.startsWith(u"ftp://"_s) || s.e.url.startsWith(u"ftp://"_s))
        s.e.url = f.url;
    s.e.position = f.position;
    s.e.size = f.size;
    s.e.resumable = f.resumable;
    s.e.positionAtConnect = f.positionAtConnect;
    s.e.written = f.written;
    s.e.connections = f.connections;
    if (!f.validator.isEmpty())
        s.validator = f.validator;
    if (f.received != s.received) {
        s.received = f.received;
        s.idle = 0;
    }
}

void ActiveTable::onEvent(int i, const TransferEvent &event)
{
    Slot &s = slots_[i];
    if (!s.e.used || !s.transfer || event.attempt != s.attempt)
        return;
    using Kind = TransferEvent::Kind;
    switch (event.kind) {
    case Kind::Connected:
        s.e.elapsedAtConnect = s.e.elapsed;
        setState(i, DownloadState::Transferring);
        break;
    case Kind::Progress:
        mirror(i, event.figures);
        emit progressed(i);
        break;
    case Kind::Redirected: {
        const QString to = event.message.args.value(1);
        setState(i, DownloadState::Connecting);
        emit redirected(i, event.message.args.value(0), to);
        if (to.startsWith(u"ftp://"_s) && existe(i))
            hopToFtp(i, to);
        break;
    }
    case Kind::Finished:
        mirror(i, event.figures);
        emit progressed(i);
        ++s.attempt;
        onFinished(i);
        break;
    case Kind::Lost:
        // The connection is given up for now; the retry timer will try again.
        mirror(i, event.figures);
        emit progressed(i);
        s.e.speed = 0;
        emit lost(i, event.message);
        setState(i, DownloadState::WaitingRetry);
        armRetry(i, event.retryAfter);
        break;
    case Kind::Stopped:
        // Nothing this attempt says afterwards may undo the stop.
        ++s.attempt;
        mirror(i, event.figures);
        s.e.speed = 0;
        setState(i, DownloadState::Stopped, event.reason);
        emit stopped(i, event.message);
        break;
    case Kind::Removed: {
        const QString url = s.e.url;
        removeSlot(i, true);
        emit removedOnServer(url);
        break;
    }
    case Kind::FileFailed:
        ++s.attempt;
        s.e.speed = 0;
        s.redo->setInterval(0);
        setState(i, DownloadState::Stopped, StopReason::FileFailed);
        emit fileFailed(i, event.message);
        break;
    case Kind::LoginRefused:
        onLoginRefused(i);
        break;
    case Kind::Problem:
        emit logLine(event.message, 0x0000FF);
        break;
    case Kind::Note:
        emit logLine(event.message, 0);
        break;
    case Kind::Status:
        emit statusText(event.message);
        break;
    case Kind::FileDeleted:
        break;
    }
}

void ActiveTable::onFinished(int i)
{
    Slot &s = slots_[i];
    s.e.speed = 0;
    setState(i, DownloadState::Finished);
    forgetSession(s.e.file);
    emit finished(i);
    const SettingsValues v = settings();
    if (v.dellista && existe(i) && isFinished(slots_[i].state))
        removeSlot(i);
    // The finished download no longer belongs in the list a restart reads.
    saveLater();
    if (v.autocont && queue_ && queue_->loadedRows() > 1)
        queue_->toactivas();
}

// Login refused: the user is asked once this handler has returned, and the
// download waits for the answer without retrying. While the login is asked
// for another download this refusal is left unanswered; the watchdog tries
// this one again later.
void ActiveTable::onLoginRefused(int i)
{
    Slot &s = slots_[i];
    if (askingLogin_ != 0) {
        setState(i, DownloadState::Connecting);
        return;
    }
    setState(i, DownloadState::AskingLogin);
    askingLogin_ = i;
    const quint64 generation = s.generation;
    QMetaObject::invokeMethod(
        this, [this, i, generation] { askLogin(i, generation); }, Qt::QueuedConnection);
}

void ActiveTable::askLogin(int i, quint64 generation)
{
    if (!slots_[i].e.used || slots_[i].generation != generation || !login_) {
        askingLogin_ = 0;
        if (existe(i) && slots_[i].generation == generation) {
            setState(i, DownloadState::WaitingRetry);
            armRetry(i);
        }
        return;
    }
    QPointer<ActiveTable> self(this);
    emit askingLogin(i);
    const LoginHooks::Login answer =
        login_->askLogin(kWrongLogin, {slots_[i].e.ftpuser, slots_[i].e.ftppass, slots_[i].e.remember});
    // The table, or this download, may have gone while the user was asked.
    if (!self)
        return;
    askingLogin_ = 0;
    Slot &s = slots_[i];
    if (!s.e.used || s.generation != generation)
        return;
    s.e.ftpuser = answer.user;
    s.e.ftppass = answer.password;
    s.e.remember = answer.remember;
    Transfer *t = s.transfer;
    onTransferThread(t, [t, user = answer.user, password = answer.password] { t->setLogin(user, password); });
    setState(i, DownloadState::WaitingRetry);
    armRetry(i);
}

void ActiveTable::reconnect(int i)
{
    if (!existe(i))
        return;
    Slot &s = slots_[i];
    s.redo->setInterval(0);
    s.retriesLeft = settings().vecesv;
    // The seconds without data counted while the retries were over are not this attempt's.
    s.idle = 0;
    if (!s.transfer)
        return;
    closeTransfer(i);
    if (s.sizeChanged()) {
        // The server's file is another one now: what is on disk is not part of it.
        Transfer *t = s.transfer;
        onTransferThread(t, [t] { t->forgetBytes(); });
        s.e.size = 0;
        s.e.position = 1;
        s.e.positionAtConnect = 1;
    }
    setState(i, DownloadState::Connecting);
    emit progressed(i);
    startTransfer(i);
}

bool ActiveTable::handToQueue(int i)
{
    if (!existe(i) || !queue_)
        return false;
    const DownloadEntry e = slots_[i].e;
    // The queue may refuse a file another download writes; this one is moving there.
    handingOver_ = i;
    const bool taken = queue_->addnew(e.url, e.file, e.size, e.position, e.resumable, e.elapsed, false, e.ftpuser,
                                      e.ftppass, e.remember, false);
    if (taken && e.written > 0)
        queue_->noteWritten(e.file, e.written);
    handingOver_ = 0;
    return taken;
}
