// The FTP client of the active table: the control connection on ftp(i),
// driven by complete replies. The data connection is ws(i) in passive mode;
// its bytes take the body path of the HTTP side unchanged.
#include "engine/activas.h"

#include "main/ftplogin.h"
#include "engine/quiet_abort.h"
#include "engine/url.h"
#include "log/notices.h"
#include "platform/prompts.h"
#include "rows/download.h"

#include <QPointer>
#include <QTcpSocket>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

const QString kStateLogin = u"FTP"_s;
const QString kStateRest = u"REST"_s;
const QString kStateSize = u"GETSIZE"_s;
const QString kWrongLogin = u"Usuario incorrecto."_s;

// The login dialog shown on a refused login; one for the window, alive
// only while it is shown (the next refusal starts from a fresh one).
QPointer<ftplogin> &wrongLoginDialog()
{
    static QPointer<ftplogin> dialog;
    return dialog;
}

// The number after the reply code ("213 1234" -> 1234); 0 when there is none.
qint64 replyNumber(const QByteArray &line)
{
    qint64 value = 0;
    qsizetype k = 4;
    while (k < line.size() && line[k] == ' ')
        ++k;
    for (; k < line.size() && line[k] >= '0' && line[k] <= '9'; ++k) {
        if (value > (std::numeric_limits<qint64>::max() - 9) / 10)
            return 0;
        value = value * 10 + (line[k] - '0');
    }
    return value;
}

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


} // namespace

void activas::connectFtp(int i)
{
    Slot &s = slots_[i];
    quietAbort(s.ftp);
    s.replies.reset();
    s.e.ftpstate.clear();
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
    s.e.ftpstate = kStateLogin;
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
        // A reply may end this connection (or, through a dialog, the slot
        // or the window); what is left of the packet belongs to nobody then.
        if (!self || !socket || slots_[i].ftp != socket || socket->state() != QAbstractSocket::ConnectedState)
            return;
    }
}

void activas::ftpReply(int i, const QByteArray &line)
{
    Slot &s = slots_[i];
    const int code = ftpReplyCode(line);
    const bool loggingIn = s.e.ftpstate == kStateLogin;

    // The login steps answer only while logging in: a late 250 (some servers
    // end a RETR with it) must not start the exchange again.
    if (code == 220 && loggingIn)
        ftpSend(i, u"USER "_s + s.e.ftpuser);
    if (code == 331 && loggingIn)
        ftpSend(i, u"PASS "_s + s.e.ftppass);
    if (code == 230 && loggingIn) {
        // Image type, so the bytes arrive unchanged and SIZE is allowed.
        ftpSend(i, u"TYPE I"_s);
        ftpSend(i, u"CWD "_s + directoryOf(GetPath(s.e.url)));
    }
    if (code == 250 && loggingIn) {
        // The reply to this REST decides for this connection alone.
        s.e.resumable = false;
        ftpSend(i, u"REST 0"_s);
        s.e.ftpstate = kStateRest;
    }
    if (code == 350)
        s.e.resumable = true;
    if (s.e.ftpstate == kStateRest) {
        ftpSend(i, u"SIZE "_s + urlFileName(s.e.url));
        s.e.ftpstate = kStateSize;
    }

    if (code == 213 && s.e.ftpstate == kStateSize) {
        if (!openTarget(i))
            return;
        s.e.size = replyNumber(line);
        const qint64 onDisk = s.file->size();
        // A local file longer than the server's is not a part of it.
        if (s.e.resumable && s.e.size > 0 && onDisk > s.e.size)
            s.e.resumable = false;
        if (s.e.resumable) {
            ftpSend(i, u"REST "_s + QString::number(onDisk));
            s.file->seek(onDisk);
            s.e.position = onDisk + 1;
        } else {
            // Rewritten from byte 1: nothing of an older, longer file may stay.
            s.file->resize(0);
            s.file->seek(0);
            s.e.position = 1;
        }
        s.e.positionAtConnect = s.e.position;
        s.e.elapsedAtConnect = s.e.elapsed;
        s.idle = 0;
        ftpSend(i, u"PASV"_s);
    }

    if (code == 227 && s.e.ftpstate == kStateSize) {
        const qsizetype open = line.indexOf('(');
        const qsizetype close = open < 0 ? -1 : line.indexOf(')', open);
        QString numbers = QString::fromLatin1(close < 0 ? line.mid(4) : line.mid(open + 1, close - open - 1));
        QString address;
        int port = 0;
        ParsePassiveReply(numbers, address, port);
        // The data connection goes to the server we logged in to, whatever
        // host the reply names: a server must not send it elsewhere.
        quietAbort(s.ws);
        s.ws->connectToHost(s.ftp->peerAddress(), quint16(port));
        ftpSend(i, u"RETR "_s + urlFileName(s.e.url));
    }

    if (code != 530)
        return;

    // Login refused: ask again, then retry with what the user typed. While
    // the dialog asks for another download, that answer is awaited first.
    QPointer<ftplogin> &shared = wrongLoginDialog();
    if (shared && shared->windowTitle() == kWrongLogin)
        return;
    QPointer<activas> self(this);
    QPointer<QTcpSocket> socket = s.ftp;
    auto *dialog = new ftplogin(this);
    shared = dialog;
    dialog->setWindowTitle(kWrongLogin);
    PlayNoticeSound(msgFile(u"user.wav"_s));
    dialog->setUsername(s.e.ftpuser);
    dialog->setPassword(s.e.ftppass);
    dialog->setRemember(s.e.remember);
    platform::prompts().execDialog(*dialog);

    // The window, or this download, may have gone while the dialog waited.
    if (!self)
        return;
    const QString user = dialog->username();
    const QString password = dialog->password();
    const bool remember = dialog->remember();
    delete dialog;
    if (!socket || s.ftp != socket || !s.e.used)
        return;
    s.e.ftpuser = user;
    s.e.ftppass = password;
    s.e.remember = remember;
    quietAbort(s.ftp);
    closeTarget(i);
    quietAbort(s.ws);
    armRetry(i);
    if (s.indicador)
        s.indicador->setReconectando(true);
}

void activas::ftpDisconnected(int i)
{
    Slot &s = slots_[i];
    if (!s.e.used || !s.ftp)
        return;
    if (s.ftp->bytesAvailable() > 0)
        ftpReadyRead(i);
    if (!s.e.used || !s.ws)
        return;
    // A server may close the control connection while the data connection
    // still delivers; the file stays open for it, and its end decides.
    if (s.ws->state() == QAbstractSocket::UnconnectedState)
        closeTarget(i);
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
    quietAbort(s.ftp);
    // A finished download keeps its file; a broken idle control connection
    // is no reason to fetch it again.
    if (s.indicador && s.indicador->finalizado())
        return;
    emit statusText(3, text);
    closeTarget(i);
    armRetry(i);
}

void activas::askDropLogin(QString &user, QString &password, bool &remember)
{
    ftplogin dialog(this);
    platform::prompts().execDialog(dialog);
    user = dialog.username();
    password = dialog.password();
    remember = dialog.remember();
}
