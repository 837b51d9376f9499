#include "core/transfer.h"

#include "core/http_decision.h"
#include "core/segment_file.h"
#include "core/tls_config.h"

#include <QDir>
#include <QFileInfo>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

Transfer::Transfer(const TransferJob &job) : job_(job), lateReport_(new QTimer(this)), throttled_(new QTimer(this))
{
    throttled_->setSingleShot(true);
    connect(throttled_, &QTimer::timeout, this, [this] { readLater(); });
    qRegisterMetaType<TransferFigures>();
    lateReport_->setSingleShot(true);
    connect(lateReport_, &QTimer::timeout, this, [this] {
        if (attempt_ >= 0)
            reportProgress(true);
    });
}

Transfer::~Transfer()
{
    // Deleted on its own thread after the table let it go (deleteLater).
    tsanAcquire(this);
    closeTarget();
}

void Transfer::connectNow(int attempt)
{
    endConnection();
    attempt_ = attempt;
    start();
}

void Transfer::closeAll()
{
    endConnection();
    // Whatever this attempt still had to say is no longer wanted.
    attempt_ = -1;
}

void Transfer::closeAndDelete()
{
    closeAll();
    QFile::remove(job_.file);
    QFile::remove(segmentFilePath(job_.file));
    report(TransferEvent::Kind::FileDeleted);
}

void Transfer::setLogin(const QString &user, const QString &password)
{
    job_.ftpuser = user;
    job_.ftppass = password;
}

void Transfer::forgetBytes()
{
    ownBytes_ = false;
    job_.size = 0;
    if (openTarget())
        rewriteFromStart();
    closeTarget();
}

QTcpSocket *Transfer::makeSocket(bool secure)
{
    QTcpSocket *socket = newSocket(secure, this);
    socket->setReadBufferSize(kSocketBuffer);
    return socket;
}

bool Transfer::pump(QTcpSocket *socket, bool *closed, bool *more, const std::function<bool(const char *, qint64)> &take)
{
    if (chunk_.size() != kReadChunk)
        chunk_.resize(kReadChunk);
    *closed = false;
    *more = false;
    for (int reads = 0;; ++reads) {
        if (reads == kReadsPerWake) {
            *more = true;
            return true;
        }
        const qint64 granted = grantRead(socket, kReadChunk);
        if (granted == 0)
            return true;
        const qint64 n = socket->read(chunk_.data(), granted);
        if (n < granted) {
            ownLimit_.giveBack(granted - std::max<qint64>(n, 0));
            globalSpeedLimit().giveBack(granted - std::max<qint64>(n, 0));
        }
        if (n == 0)
            return true;
        if (n < 0) {
            *closed = true;
            return false;
        }
        if (!take(chunk_.constData(), n))
            return false;
    }
}

void Transfer::setOwnLimit(qint64 bytesPerSecond)
{
    ownLimit_.setRate(bytesPerSecond);
    // A raised or lifted limit reads at once.
    if (throttled_->isActive()) {
        throttled_->stop();
        readLater();
    }
}

qint64 Transfer::grantRead(const QTcpSocket *socket, qint64 want)
{
    // Once the peer has closed, what is left in the buffer ends the file: it
    // is read at once.
    TokenBucket &shared = globalSpeedLimit();
    if (socket->state() != QAbstractSocket::ConnectedState || (!shared.limited() && !ownLimit_.limited()))
        return want;
    const qint64 now = speedClockMs();
    qint64 granted = shared.take(want, now);
    if (granted > 0) {
        const qint64 own = ownLimit_.take(granted, now);
        shared.giveBack(granted - own);
        granted = own;
    }
    if (granted == 0 && !throttled_->isActive()) {
        constexpr qint64 kLongestWaitMs = 1000; // a changed limit is seen within a second
        const qint64 wait = std::max(shared.waitMs(now), ownLimit_.waitMs(now));
        throttled_->start(int(std::clamp<qint64>(wait, 1, kLongestWaitMs)));
    }
    return granted;
}

void Transfer::readLater()
{
    if (readPending_)
        return;
    readPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!readPending_)
                return;
            readPending_ = false;
            readShare();
        },
        Qt::QueuedConnection);
}

bool Transfer::openTarget()
{
    if (file_ && file_->isOpen())
        return true;
    file_ = std::make_unique<QFile>(job_.file);
    // The download folder of a first start does not exist yet.
    const QString folder = QFileInfo(job_.file).absolutePath();
    if (!QDir(folder).exists() && !QDir().mkpath(folder)) {
        failWith(say(Message::Id::FolderNotCreated, {job_.file, QDir::toNativeSeparators(folder)}));
        return false;
    }
    // The last part of the path is never followed as a link: a link planted
    // in the download folder would have the download overwrite its target,
    // or create a file outside the folder.
    const int fd = ::open(QFile::encodeName(job_.file).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        file_.reset();
        if (error == ELOOP)
            failWith(say(Message::Id::TargetIsLink, {job_.file}));
        else
            fail(QString::fromLocal8Bit(strerror(error)));
        return false;
    }
    // Unbuffered: a write error (disk full) shows at once, not at close.
    if (!file_->open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        fail(file_->errorString());
        return false;
    }
    if (!sideFileSettled_) {
        sideFileSettled_ = true;
        settleSideFile();
    }
    return true;
}

void Transfer::settleSideFile()
{
    const QString side = segmentFilePath(job_.file);
    if (!QFile::exists(side))
        return;
    const qint64 prefix = std::clamp<qint64>(job_.position - 1, 0, file_->size());
    if (file_->size() > prefix)
        file_->resize(prefix);
    QFile::remove(side);
}

void Transfer::closeTarget()
{
    if (file_) {
        file_->close();
        file_.reset();
    }
}

void Transfer::endConnection()
{
    dropSockets();
    closeTarget();
    proofLeft_ = 0;
    lateReport_->stop();
    throttled_->stop();
}

bool Transfer::writeBody(const char *data, qint64 size)
{
    if (!file_ || !file_->isOpen() || size <= 0)
        return true;
    received_ += size;
    if (proofLeft_ > 0 && !proveTail(data, size))
        return false;
    // Never write past the announced end.
    const qint64 room = job_.size > 0 ? qMax<qint64>(0, job_.size - file_->pos()) : size;
    const bool overrun = size > room;
    size = qMin(size, room);
    if (size > 0) {
        if (file_->write(data, size) != size) {
            fail(file_->errorString());
            return false;
        }
        job_.position = file_->pos() + 1;
    }
    if (overrun && overrunIsSizeChange_) {
        // The announced size was wrong (a 32-bit SIZE, a file still growing):
        // what is on disk stays, and the file is not called finished.
        const Message notice = sizeChangedNotice(job_.url, job_.size, -1);
        report(TransferEvent::Kind::Problem, notice);
        stop(notice, StopReason::SizeChanged);
        return false;
    }
    reportProgress(false);
    return true;
}

// Compares arriving bytes with the file's tail and skips them; a mismatch
// starts the file again.
bool Transfer::proveTail(const char *&data, qint64 &size)
{
    const qint64 take = qMin(proofLeft_, size);
    const qint64 resume = file_->pos();
    file_->seek(proofAt_);
    const QByteArray onDisk = file_->read(take);
    file_->seek(resume);
    if (onDisk != QByteArrayView(data, take)) {
        restartFromStart(say(Message::Id::TailMismatch, {job_.file, job_.url}));
        return false;
    }
    proofAt_ += take;
    proofLeft_ -= take;
    if (proofLeft_ == 0)
        ownBytes_ = true;
    data += take;
    size -= take;
    return true;
}

void Transfer::rewriteFromStart()
{
    if (!file_)
        return;
    file_->resize(0);
    file_->seek(0);
    // Ranges kept for the old bytes no longer describe the file.
    QFile::remove(segmentFilePath(job_.file));
    ownBytes_ = true;
    proofLeft_ = 0;
    job_.position = 1;
    positionAtConnect_ = 1;
}

qint64 Transfer::resumeFrom(qint64 onDisk, bool alwaysProve) const
{
    if (ownBytes_ && !alwaysProve)
        return onDisk;
    // A file smaller than the proof is fetched whole.
    return onDisk < kTailProof ? 0 : onDisk - kTailProof;
}

void Transfer::startProof(qint64 from, qint64 onDisk)
{
    proofLeft_ = 0;
    if (from > 0 && from < onDisk) {
        proofLeft_ = onDisk - from;
        proofAt_ = from;
    }
}

bool Transfer::complete() const
{
    return proofLeft_ == 0 && job_.size > 0 && job_.position - 1 >= job_.size;
}

TransferFigures Transfer::figures() const
{
    TransferFigures f;
    f.url = job_.url;
    f.position = job_.position;
    f.size = job_.size;
    f.resumable = job_.resumable;
    f.positionAtConnect = positionAtConnect_;
    f.received = received_;
    f.written = written_;
    f.connections = connections_ > 0 ? connections_ : (file_ && file_->isOpen() ? 1 : 0);
    f.validator = fileValidator();
    return f;
}

void Transfer::reportProgress(bool now)
{
    if (!now && lastReport_.isValid() && lastReport_.elapsed() < kReportEveryMs) {
        if (!lateReport_->isActive())
            lateReport_->start(int(kReportEveryMs - lastReport_.elapsed()));
        return;
    }
    lateReport_->stop();
    lastReport_.start();
    report(TransferEvent::Kind::Progress);
}

void Transfer::finish()
{
    endConnection();
    report(TransferEvent::Kind::Finished);
}

void Transfer::lose(const Message &status, int retryAfter)
{
    endConnection();
    report(TransferEvent::Kind::Lost, status, StopReason::None, retryAfter);
}

void Transfer::stop(const Message &notice, StopReason reason)
{
    endConnection();
    report(TransferEvent::Kind::Stopped, notice, reason);
}

void Transfer::report(TransferEvent::Kind kind, const Message &message, StopReason reason, int retryAfter)
{
    TransferEvent event;
    event.kind = kind;
    event.attempt = attempt_;
    event.reason = reason;
    event.retryAfter = retryAfter;
    event.figures = figures();
    event.message = message;
    emit reported(event);
}

void Transfer::fail(const QString &reason)
{
    failWith(say(Message::Id::WriteFailed, {job_.file, reason}));
}

void Transfer::failWith(const Message &sentence)
{
    dropSockets();
    file_.reset();
    proofLeft_ = 0;
    report(TransferEvent::Kind::FileFailed, sentence);
}

// The bytes on disk do not belong to the server's file: fetch it again from
// its first byte, at once and without spending a retry.
void Transfer::restartFromStart(const Message &why)
{
    report(TransferEvent::Kind::Problem, why);
    report(TransferEvent::Kind::Status, why);
    endConnection();
    if (!openTarget())
        return;
    rewriteFromStart();
    closeTarget();
    start();
}
