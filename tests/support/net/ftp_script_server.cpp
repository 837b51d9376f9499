#include "ftp_script_server.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace testing {

namespace {
constexpr int kSplitDelayMs = 40;
}

struct FtpScriptServer::Session {
    QPointer<QTcpSocket> control;
    QByteArray input;
    struct Chunk {
        QByteArray bytes;
        int delayMs;
    };
    QList<Chunk> out;
    bool waiting = false; // a delayed chunk is on its way
    QByteArray heldRest;  // the REST 0 reply kept for the SIZE packet
    QString user;
    QString verb; // of the command being answered
    qint64 rest = 0;
    QPointer<QTcpSocket> data;
    bool retrPending = false;
};

FtpScriptServer::FtpScriptServer(QObject *parent)
    : QObject(parent), control_(new QTcpServer(this)), passive_(new QTcpServer(this))
{
    connect(control_, &QTcpServer::newConnection, this, &FtpScriptServer::acceptControl);
    connect(passive_, &QTcpServer::newConnection, this, &FtpScriptServer::acceptData);
    control_->listen(QHostAddress::LocalHost, 0);
    passive_->listen(QHostAddress::LocalHost, 0);
}

FtpScriptServer::~FtpScriptServer() = default;

bool FtpScriptServer::isListening() const
{
    return control_->isListening() && passive_->isListening();
}

int FtpScriptServer::openControlConnections() const
{
    int open = 0;
    for (const auto &s : sessions_)
        open += s->control && s->control->state() == QAbstractSocket::ConnectedState;
    return open;
}

quint16 FtpScriptServer::port() const
{
    return control_->serverPort();
}

void FtpScriptServer::setFile(const QString &name, const QByteArray &body)
{
    fileName_ = name;
    body_ = body;
}

void FtpScriptServer::setReply(const QString &command, const QByteArray &reply)
{
    replies_.insert(command, reply);
}

void FtpScriptServer::setCredentials(const QString &user, const QString &password)
{
    user_ = user;
    password_ = password;
}

void FtpScriptServer::acceptControl()
{
    while (QTcpSocket *socket = control_->nextPendingConnection()) {
        ++controlConnections_;
        auto session = std::make_unique<Session>();
        Session *s = session.get();
        s->control = socket;
        sessions_.push_back(std::move(session));
        connect(socket, &QTcpSocket::readyRead, this, [this, s] { readCommands(s); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        reply(s, "220 Script FTP ready.\r\n");
    }
}

void FtpScriptServer::acceptData()
{
    while (QTcpSocket *socket = passive_->nextPendingConnection()) {
        ++dataConnections_;
        lastDataPeer_ = socket->peerAddress().toString();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (!awaitingData_) {
            socket->abort();
            continue;
        }
        Session *s = awaitingData_;
        awaitingData_ = nullptr;
        s->data = socket;
        if (s->retrPending)
            startTransfer(s);
    }
}

void FtpScriptServer::readCommands(Session *s)
{
    if (!s->control)
        return;
    s->input += s->control->readAll();
    qsizetype lf;
    while ((lf = s->input.indexOf('\n')) >= 0) {
        QByteArray line = s->input.left(lf);
        s->input.remove(0, lf + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        const QString command = QString::fromLatin1(line);
        commands_.append(command);
        answer(s, command);
    }
}

void FtpScriptServer::answer(Session *s, const QString &line)
{
    const QString verb = line.section(u' ', 0, 0).toUpper();
    const QString arg = line.section(u' ', 1);
    s->verb = verb;

    if (replies_.contains(line)) {
        reply(s, replies_.value(line));
        return;
    }

    if (verb == u"USER"_s) {
        s->user = arg;
        reply(s, "331 Please specify the password.\r\n");
    } else if (verb == u"PASS"_s) {
        const bool wrong = !user_.isEmpty() && (s->user != user_ || arg != password_);
        if (rejectLogins_ > 0 || wrong) {
            rejectLogins_ = qMax(0, rejectLogins_ - 1);
            reply(s, "530 Login incorrect.\r\n");
        } else if (multiLineWelcome_) {
            reply(s, "230-Welcome to the script server.\r\n230-Be nice.\r\n230 Login successful.\r\n");
        } else {
            reply(s, "230 Login successful.\r\n");
        }
    } else if (verb == u"TYPE"_s) {
        reply(s, "200 Switching to Binary mode.\r\n");
    } else if (verb == u"CWD"_s) {
        reply(s, arg.isEmpty() ? "550 Failed to change directory.\r\n" : "250 Directory successfully changed.\r\n");
    } else if (verb == u"REST"_s) {
        s->rest = ignoreRest_ ? 0 : arg.toLongLong();
        const QByteArray text = "350 Restart position accepted (" + arg.toLatin1() + ").\r\n";
        if (joinRestAndSize_ && s->rest == 0)
            s->heldRest = text;
        else
            reply(s, text);
    } else if (verb == u"SIZE"_s) {
        const QByteArray text = arg == fileName_ ? "213 " + QByteArray::number(body_.size()) + "\r\n"
                                                 : QByteArray("550 Could not get file size.\r\n");
        reply(s, s->heldRest + text);
        s->heldRest.clear();
    } else if (verb == u"PASV"_s) {
        awaitingData_ = s;
        reply(s, passiveReply());
    } else if (verb == u"RETR"_s) {
        if (arg != fileName_) {
            reply(s, "550 Failed to open file.\r\n");
            return;
        }
        s->retrPending = true;
        if (s->data)
            startTransfer(s);
    } else if (verb == u"QUIT"_s) {
        reply(s, "221 Goodbye.\r\n");
        s->control->disconnectFromHost();
    } else {
        reply(s, "500 Unknown command.\r\n");
    }
}

QByteArray FtpScriptServer::passiveReply() const
{
    const quint16 p = passive_->serverPort();
    QString numbers = passiveHost_;
    numbers.replace(u'.', u',');
    numbers += u',' + QString::number(p / 256) + u',' + QString::number(p % 256);
    return "227 Entering Passive Mode (" + numbers.toLatin1() + ").\r\n";
}

void FtpScriptServer::reply(Session *s, const QByteArray &text)
{
    if (!splitVerb_.isEmpty() && s->verb == splitVerb_ && text.size() > 2) {
        const qsizetype cut = qMin<qsizetype>(5, text.size() / 2);
        send(s, text.left(cut), 0);
        send(s, text.mid(cut), kSplitDelayMs);
        return;
    }
    send(s, text, 0);
}

void FtpScriptServer::send(Session *s, const QByteArray &bytes, int delayMs)
{
    s->out.append({bytes, delayMs});
    pump(s);
}

// Chunks go out in order; a delayed one holds back everything after it.
void FtpScriptServer::pump(Session *s)
{
    while (!s->waiting && !s->out.isEmpty()) {
        if (!s->control)
            return;
        if (s->out.first().delayMs > 0) {
            s->waiting = true;
            QTimer::singleShot(s->out.first().delayMs, this, [this, s] {
                s->waiting = false;
                s->out.first().delayMs = 0;
                pump(s);
            });
            return;
        }
        s->control->write(s->out.takeFirst().bytes);
        s->control->flush();
    }
}

void FtpScriptServer::startTransfer(Session *s)
{
    s->retrPending = false;
    QTcpSocket *data = s->data;
    s->data = nullptr;
    const qint64 from = qBound<qint64>(0, s->rest, body_.size());
    s->rest = 0;
    QByteArray bytes = body_.mid(from);
    const bool cut = cutDataAfter_ >= 0 && cutDataAfter_ < bytes.size();
    if (cut) {
        bytes.truncate(cutDataAfter_);
        cutDataAfter_ = -1;
    }
    reply(s, "150 Opening BINARY mode data connection for " + fileName_.toLatin1() + " ("
                 + QByteArray::number(body_.size()) + " bytes).\r\n");
    bytesServed_ += bytes.size();
    data->write(bytes);
    data->disconnectFromHost(); // after the written bytes are out
    reply(s, cut ? "426 Failure writing network stream.\r\n" : "226 Transfer complete.\r\n");
}

} // namespace testing
