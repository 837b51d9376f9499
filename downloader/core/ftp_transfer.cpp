// The FTP client of one download.
#include "core/ftp_transfer.h"

#include "core/completion.h"
#include "core/ftp_decision.h"
#include "core/http_decision.h"
#include "core/quiet_abort.h"
#include "core/url.h"

#include <QTcpSocket>

using namespace Qt::StringLiterals;

FtpTransfer::FtpTransfer(const TransferJob &job) : Transfer(job)
{
    // SIZE is only the server's word (some tell it modulo 4 GiB); RETR's
    // bytes are the file.
    overrunIsSizeChange_ = true;
}

FtpTransfer::~FtpTransfer()
{
    dropSockets();
}

void FtpTransfer::dropSockets()
{
    quietAbort(ws_);
    quietAbort(ftp_);
    replies_.reset();
    dataClosed_ = false;
    dropReadLater();
    setStep(FtpStep::None);
}

void FtpTransfer::setStep(FtpStep step)
{
    if (ftpstate_ == step)
        return;
    qCDebug(lcFtp) << job_.url << ftpStepName(ftpstate_) << "->" << ftpStepName(step);
    ftpstate_ = step;
}

void FtpTransfer::start()
{
    if (!ftp_) {
        ftp_ = makeSocket();
        connect(ftp_, &QTcpSocket::connected, this, &FtpTransfer::onControlConnected);
        connect(ftp_, &QTcpSocket::readyRead, this, &FtpTransfer::onControlReadyRead);
        connect(ftp_, &QTcpSocket::disconnected, this, &FtpTransfer::onControlDisconnected);
        connect(ftp_, &QTcpSocket::errorOccurred, this, &FtpTransfer::onControlError);
        ws_ = makeSocket();
        connect(ws_, &QTcpSocket::readyRead, this, &FtpTransfer::readShare);
        connect(ws_, &QTcpSocket::disconnected, this, &FtpTransfer::onDataDisconnected);
        connect(ws_, &QTcpSocket::errorOccurred, this, &FtpTransfer::onDataError);
    }
    dropSockets();
    ftp_->connectToHost(job_.host, job_.port);
}

void FtpTransfer::send(const QString &command)
{
    // A line end inside an argument (a name from a list file) would end the
    // command there and start another one of the server's choosing.
    QString text = command;
    text.remove(u'\r');
    text.remove(u'\n');
    ftp_->write(text.toUtf8() + "\r\n");
}

void FtpTransfer::onControlConnected()
{
    setStep(FtpStep::Login);
    // A target that cannot be opened has ended the transfer, and told so.
    if (!openTarget())
        return;
    file_->seek(0);
    report(TransferEvent::Kind::Connected);
}

void FtpTransfer::onControlReadyRead()
{
    const QList<QByteArray> replies = replies_.feed(ftp_->readAll());
    for (const QByteArray &line : replies) {
        // A reply may end this connection; what is left of the packet belongs to nobody then.
        if (!onReply(line) || ftp_->state() != QAbstractSocket::ConnectedState)
            return;
    }
}

bool FtpTransfer::onReply(const QByteArray &line)
{
    FtpNames names;
    names.user = job_.ftpuser;
    names.password = job_.ftppass;
    names.directory = ftpDirectory(GetPath(job_.url));
    names.file = urlFileName(job_.url);
    const FtpReplyDecision d = decideFtpReply(ftpstate_, line, names);

    using Act = FtpReplyDecision::Act;
    switch (d.act) {
    case Act::Nothing:
        break;
    case Act::Lose:
        lose(say(Message::Id::ServerSaid, {job_.host, QString::fromUtf8(line)}));
        return false;
    case Act::AskLogin:
        endConnection();
        report(TransferEvent::Kind::LoginRefused);
        return false;
    case Act::RestZeroDone:
        job_.resumable = d.accepted;
        break;
    case Act::SizeKnown:
        sizeKnown(d.size);
        return ftpstate_ != FtpStep::None;
    case Act::RestAtDone:
        // Refused: the server will send from its first byte, and that is where it goes.
        if (!d.accepted) {
            job_.resumable = false;
            rewriteFromStart();
        }
        break;
    case Act::OpenData:
        openData(line);
        break;
    case Act::Confirmed:
        setStep(FtpStep::Done);
        if (dataClosed_ || ws_->state() == QAbstractSocket::UnconnectedState) {
            finishOrLose();
            return false;
        }
        return true;
    }
    for (const QString &command : d.send)
        send(command);
    setStep(d.next);
    return true;
}

// The size reply is in (-1: unknown). Decides where the bytes will go.
void FtpTransfer::sizeKnown(qint64 size)
{
    if (!openTarget())
        return;
    if (job_.size > 0 && size >= 0 && size != job_.size) {
        const Message notice = sizeChangedNotice(job_.url, job_.size, size);
        report(TransferEvent::Kind::Problem, notice);
        stop(notice, StopReason::SizeChanged);
        return;
    }
    if (size >= 0)
        job_.size = size;
    const qint64 onDisk = file_->size();
    // A local file longer than the server's is not a part of it.
    if (job_.resumable && job_.size > 0 && onDisk > job_.size)
        job_.resumable = false;
    if (!job_.resumable) {
        rewriteFromStart();
        send(u"PASV"_s);
        setStep(FtpStep::Passive);
        return;
    }
    // The answer to this REST decides where the bytes go. A "350" proves
    // nothing (some servers send from byte 0 anyway): the tail is always
    // fetched again and compared before anything is appended.
    const qint64 from = resumeFrom(onDisk, true);
    if (from == 0) {
        rewriteFromStart();
    } else {
        startProof(from, onDisk);
        file_->seek(onDisk);
        job_.position = onDisk + 1;
        positionAtConnect_ = job_.position;
    }
    send(u"REST "_s + QString::number(from));
    setStep(FtpStep::RestAt);
}

void FtpTransfer::openData(const QByteArray &line)
{
    const qsizetype open = line.indexOf('(');
    const qsizetype close = open < 0 ? -1 : line.indexOf(')', open);
    QString numbers = QString::fromLatin1(close < 0 ? line.mid(4) : line.mid(open + 1, close - open - 1));
    QString address;
    int port = 0;
    ParsePassiveReply(numbers, address, port);
    // The data connection goes to the server we logged in to, whatever
    // host the reply names: a server must not send it elsewhere.
    quietAbort(ws_);
    dataClosed_ = false;
    dropReadLater();
    ws_->connectToHost(ftp_->peerAddress(), quint16(port), QIODevice::ReadWrite | QIODevice::Unbuffered);
}

void FtpTransfer::readShare()
{
    readData(false);
}

void FtpTransfer::readData(bool all)
{
    bool closed = false;
    bool more = false;
    bool going = true;
    // Even with every announced byte here, the file ends only at the data
    // connection's close: a byte more means the announced size was wrong.
    do {
        going = pump(ws_, &closed, &more, [this](const char *data, qint64 size) { return writeBody(data, size); });
    } while (all && going && more);
    if (closed) {
        dataEnded();
    } else if (going) {
        reportProgress(false);
        // The unbuffered socket signals again only once a read found it
        // empty: the rest is asked for after the thread's other work.
        if (more)
            readLater();
    }
}

void FtpTransfer::onDataDisconnected()
{
    dropReadLater();
    readData(true);
    dataEnded();
}

void FtpTransfer::dataEnded()
{
    if (!file_ || ftpstate_ == FtpStep::None || dataClosed_)
        return;
    if (ws_->error() != QAbstractSocket::RemoteHostClosedError && ws_->error() != QAbstractSocket::UnknownSocketError) {
        lose(say(Message::Id::SocketError, {ws_->errorString()}));
        return;
    }
    if (job_.size == 0 && ftpstate_ != FtpStep::Done) {
        // Without a size only the server's word on the control connection
        // (226, or an error) tells a whole file from a cut one.
        dataClosed_ = true;
        return;
    }
    finishOrLose();
}

void FtpTransfer::onDataError()
{
    if (ws_->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    lose(say(Message::Id::SocketError, {ws_->errorString()}));
}

void FtpTransfer::finishOrLose()
{
    TransferEnd end;
    end.onDisk = job_.position > 0 ? job_.position - 1 : 0;
    end.size = job_.size;
    end.http = false;
    end.ftpConfirmed = ftpstate_ == FtpStep::Done;
    end.tailUnproven = proofLeft_ > 0;
    if (transferComplete(end))
        finish();
    else
        lose(say(Message::Id::ConnectionLost, {job_.url}));
}

void FtpTransfer::onControlDisconnected()
{
    if (ftp_->bytesAvailable() > 0)
        onControlReadyRead();
    if (ftpstate_ == FtpStep::None || ftpstate_ == FtpStep::Done || !file_)
        return;
    // Without the server's confirmation a transfer of unknown size cannot
    // end well; a known size may still arrive whole on the data connection.
    if (job_.size == 0 || dataClosed_ || ws_->state() == QAbstractSocket::UnconnectedState)
        lose(say(Message::Id::ConnectionLost, {job_.url}));
}

void FtpTransfer::onControlError()
{
    // The peer's orderly close arrives as disconnected(), handled there.
    if (ftp_->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    lose(say(Message::Id::SocketError, {ftp_->errorString()}));
}
