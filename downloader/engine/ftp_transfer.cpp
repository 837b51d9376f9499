// The FTP client of the active table: the control connection on ftp(i),
// driven by complete replies. The data connection is ws(i) in passive mode;
// its bytes take the body path of the HTTP side unchanged.
#include "engine/activas.h"

#include "engine/quiet_abort.h"
#include "engine/http_decision.h"
#include "engine/login_hooks.h"
#include "engine/url.h"
#include "log/log_append.h"
#include "log/notices.h"
#include "platform/prompts.h"
#include "rows/download.h"

#include <QPointer>
#include <QTcpSocket>


using namespace Qt::StringLiterals;

namespace {

const QString kWrongLogin = u"Usuario incorrecto."_s;

// "pub/dir/x.tgz" -> "/pub/dir"; a file in the root gives "/", since
// servers refuse a CWD without argument and the download would wait for ever.
QString directoryOf(const QString &path)
{
    const QStringList parts = path.split(u'/');
    QString directory;
    for (qsizetype k = 0; k + 1 < parts.size(); ++k)
        directory += u'/' + parts[k];
    return directory.isEmpty() ? u"/"_s : directory;
}

bool refused(int code)
{
    return code >= 400;
}

} // namespace

void activas::setFtpStep(int i, FtpStep step)
{
    Slot &s = slots_[i];
    if (s.e.ftpstate == step)
        return;
    qCDebug(lcFtp) << "slot" << i << ftpStepName(s.e.ftpstate) << "->" << ftpStepName(step);
    s.e.ftpstate = step;
}

void activas::connectFtp(int i)
{
    Slot &s = slots_[i];
    quietAbort(s.ftp);
    s.replies.reset();
    s.dataClosed = false;
    setFtpStep(i, FtpStep::None);
    s.ftp->connectToHost(s.ftpHost, s.ftpPort);
}

void activas::ftpSend(int i, const QString &command)
{
    Slot &s = slots_[i];
    if (!s.ftp)
        return;
    // A line end inside an argument (a name from a list file) would end the
    // command there and start another one of the server's choosing.
    QString text = command;
    text.remove(u'\r');
    text.remove(u'\n');
    s.ftp->write(text.toUtf8() + crlf_);
}

void activas::ftpConnected(int i)
{
    Slot &s = slots_[i];
    setFtpStep(i, FtpStep::Login);
    if (s.indicador)
        s.indicador->setReconectando(false);
    if (openTarget(i))
        s.file->seek(0);
}

void activas::ftpReadyRead(int i)
{
    QPointer<activas> self(this);
    QPointer<QTcpSocket> socket = slots_[i].ftp;
    if (!socket)
        return;
    const QList<QByteArray> replies = slots_[i].replies.feed(socket->readAll());
    for (const QByteArray &line : replies) {
        ftpReply(i, line);
        // A reply may end this connection; what is left of the packet
        // belongs to nobody then.
        if (!self || !socket || slots_[i].ftp != socket || socket->state() != QAbstractSocket::ConnectedState)
            return;
    }
}

// One complete reply, read in the light of the step that awaits it.
void activas::ftpReply(int i, const QByteArray &line)
{
    Slot &s = slots_[i];
    const int code = ftpReplyCode(line);
    if (code == 530) {
        loginRefused(i);
        return;
    }
    switch (s.e.ftpstate) {
    case FtpStep::None:
    case FtpStep::Done:
        return;
    case FtpStep::Login:
        if (code == 220)
            ftpSend(i, u"USER "_s + s.e.ftpuser);
        else if (code == 331)
            ftpSend(i, u"PASS "_s + s.e.ftppass);
        else if (code == 230) {
            // Image type, so the bytes arrive unchanged and SIZE is allowed.
            ftpSend(i, u"TYPE I"_s);
            ftpSend(i, u"CWD "_s + directoryOf(GetPath(s.e.url)));
        } else if (code == 250) {
            // The answer to "REST 0" tells whether this server resumes; the
            // size is asked for at once, its answer comes second.
            ftpSend(i, u"REST 0"_s);
            ftpSend(i, u"SIZE "_s + urlFileName(s.e.url));
            setFtpStep(i, FtpStep::RestZero);
        } else if (refused(code) && code != 500 && code != 502 && code != 504)
            // A missing folder, a server going down: not worth waiting for the
            // watchdog. (TYPE may be refused harmlessly with 500/502/504.)
            loseConnection(i, u"El servidor "_s + s.ftpHost + u" ha respondido: "_s + QString::fromUtf8(line));
        return;
    case FtpStep::RestZero:
        if (code == 350 || refused(code)) {
            s.e.resumable = code == 350;
            setFtpStep(i, FtpStep::Size);
        }
        return;
    case FtpStep::Size:
        if (code == 213 || refused(code))
            ftpSizeKnown(i, code == 213 ? ftpSizeValue(line) : -1);
        return;
    case FtpStep::RestAt:
        if (code == 350) {
            ftpPassive(i);
        } else if (refused(code)) {
            // The server will send from its first byte: that is where it goes.
            s.e.resumable = false;
            s.proofLeft = 0;
            rewriteFromStart(i);
            ftpPassive(i);
        }
        return;
    case FtpStep::Passive:
        if (code == 227)
            ftpRetrieve(i, line);
        else if (refused(code))
            loseConnection(i, u"El servidor "_s + s.ftpHost + u" ha respondido: "_s + QString::fromUtf8(line));
        return;
    case FtpStep::Retrieve:
        if (code == 226 || code == 250) {
            setFtpStep(i, FtpStep::Done);
            if (s.dataClosed || !s.ws || s.ws->state() == QAbstractSocket::UnconnectedState) {
                s.dataClosed = false;
                finishOrLose(i);
            }
        } else if (refused(code)) {
            // "426 Transfer aborted" and its kind: whatever arrived is not the whole file.
            loseConnection(i, lostConnectionText(s.e.url));
        }
        return;
    }
}

// The size reply is in (-1: unknown). Decides where the bytes will go.
void activas::ftpSizeKnown(int i, qint64 size)
{
    Slot &s = slots_[i];
    if (!openTarget(i))
        return;
    if (s.e.size > 0 && size >= 0 && size != s.e.size) {
        const QString notice = sizeChangedNotice(s.e.url, s.e.size, size);
        s.sizeChanged = true;
        appendLog(u"\r\n"_s + notice, 0x0000FF);
        stopWithError(i, notice);
        return;
    }
    if (size >= 0)
        s.e.size = size;
    const qint64 onDisk = s.file->size();
    // A local file longer than the server's is not a part of it.
    if (s.e.resumable && s.e.size > 0 && onDisk > s.e.size)
        s.e.resumable = false;
    s.proofLeft = 0;
    qint64 from = onDisk;
    if (s.e.resumable && onDisk > 0 && !s.ownBytes) {
        // Bytes this download did not write itself are proven first.
        from = onDisk < kTailProof ? 0 : onDisk - kTailProof;
        s.proofLeft = onDisk - from;
        s.proofAt = from;
    }
    s.e.elapsedAtConnect = s.e.elapsed;
    s.idle = 0;
    if (!s.e.resumable) {
        rewriteFromStart(i);
        ftpPassive(i);
        return;
    }
    // The answer to this REST decides where the bytes go (RestAt).
    if (from == 0) {
        s.proofLeft = 0;
        rewriteFromStart(i);
    } else {
        s.file->seek(onDisk);
        s.e.position = onDisk + 1;
        s.e.positionAtConnect = s.e.position;
    }
    ftpSend(i, u"REST "_s + QString::number(from));
    setFtpStep(i, FtpStep::RestAt);
}

// The file is written again from its first byte.
void activas::rewriteFromStart(int i)
{
    Slot &s = slots_[i];
    if (!s.file)
        return;
    s.file->resize(0);
    s.file->seek(0);
    s.ownBytes = true;
    s.e.position = 1;
    s.e.positionAtConnect = 1;
}

void activas::ftpPassive(int i)
{
    ftpSend(i, u"PASV"_s);
    setFtpStep(i, FtpStep::Passive);
}

void activas::ftpRetrieve(int i, const QByteArray &line)
{
    Slot &s = slots_[i];
    const qsizetype open = line.indexOf('(');
    const qsizetype close = open < 0 ? -1 : line.indexOf(')', open);
    QString numbers = QString::fromLatin1(close < 0 ? line.mid(4) : line.mid(open + 1, close - open - 1));
    QString address;
    int port = 0;
    ParsePassiveReply(numbers, address, port);
    // The data connection goes to the server we logged in to, whatever
    // host the reply names: a server must not send it elsewhere.
    quietAbort(s.ws);
    s.dataClosed = false;
    s.ws->connectToHost(s.ftp->peerAddress(), quint16(port));
    ftpSend(i, u"RETR "_s + urlFileName(s.e.url));
    setFtpStep(i, FtpStep::Retrieve);
}

// Login refused: the connections end now; the user is asked once this
// handler has returned, and the slot waits for the answer without retrying.
void activas::loginRefused(int i)
{
    Slot &s = slots_[i];
    // While the dialog asks for another download this refusal is left
    // unanswered; the watchdog tries this one again later.
    if (askingLogin_ != 0)
        return;
    dropConnections(i);
    if (s.indicador)
        s.indicador->setReconectando(true);
    s.askingLogin = true;
    askingLogin_ = i;
    const quint64 generation = s.generation;
    QMetaObject::invokeMethod(
        this, [this, i, generation] { askLogin(i, generation); }, Qt::QueuedConnection);
}

void activas::askLogin(int i, quint64 generation)
{
    if (!slots_[i].e.used || slots_[i].generation != generation) {
        askingLogin_ = 0;
        return;
    }
    QPointer<activas> self(this);
    PlayNoticeSound(msgFile(u"user.wav"_s));
    QString user = slots_[i].e.ftpuser;
    QString password = slots_[i].e.ftppass;
    bool remember = slots_[i].e.remember;
    const bool asked = askUser(kWrongLogin, user, password, remember);
    // The window, or this download, may have gone while the dialog waited.
    if (!self)
        return;
    askingLogin_ = 0;
    Slot &s = slots_[i];
    if (!s.e.used || s.generation != generation)
        return;
    s.askingLogin = false;
    if (asked) {
        s.e.ftpuser = user;
        s.e.ftppass = password;
        s.e.remember = remember;
    }
    armRetry(i);
}

bool activas::askUser(const QString &caption, QString &user, QString &password, bool &remember)
{
    if (!login_)
        return false;
    const LoginHooks::Login answer = login_->askLogin(caption, {user, password, remember});
    user = answer.user;
    password = answer.password;
    remember = answer.remember;
    return true;
}

void activas::ftpDisconnected(int i)
{
    Slot &s = slots_[i];
    if (!s.e.used || !s.ftp)
        return;
    if (s.ftp->bytesAvailable() > 0)
        ftpReadyRead(i);
    if (!s.e.used || !s.ws || s.e.ftpstate == FtpStep::None)
        return;
    if (s.e.ftpstate == FtpStep::Done)
        return; // confirmed: the data connection's end decides
    // Without the server's confirmation a transfer of unknown size cannot
    // end well; a known size may still arrive whole on the data connection.
    if (s.e.size == 0 || s.dataClosed || s.ws->state() == QAbstractSocket::UnconnectedState)
        loseConnection(i, lostConnectionText(s.e.url));
}

void activas::ftpError(int i)
{
    Slot &s = slots_[i];
    if (!s.ftp || !s.e.used)
        return;
    // The peer's orderly close arrives as disconnected(), handled there.
    if (s.ftp->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    const QString text = s.ftp->errorString();
    // A finished download keeps its file; a broken idle control connection
    // is no reason to fetch it again.
    if (s.indicador && s.indicador->finalizado()) {
        quietAbort(s.ftp);
        return;
    }
    emit statusText(3, text);
    dropConnections(i);
    armRetry(i);
}

void activas::askDropLogin(QString &user, QString &password, bool &remember)
{
    user = u"anonymous"_s;
    password = u"guestpw"_s;
    remember = false;
    askUser(QString(), user, password, remember);
}
