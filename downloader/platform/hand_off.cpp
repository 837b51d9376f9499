#include "platform/hand_off.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <memory>

#ifdef Q_OS_LINUX
#include <sys/socket.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace platform {
namespace {
constexpr int kConnectMs = 2000;
constexpr int kMessageMs = 5000;
constexpr int kStartingMs = 15000;

#ifdef Q_OS_LINUX
bool sameUser(const QLocalSocket *socket)
{
    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0)
        return false;
    return peer.uid == ::getuid();
}
#else
bool sameUser(const QLocalSocket *)
{
    return true; // the socket's own permissions keep others out
}
#endif
} // namespace

QString handOffName(const QString &folder)
{
    const QByteArray path = QDir(folder).canonicalPath().toUtf8();
    return u"tandrel-"_s
           + QString::fromLatin1(QCryptographicHash::hash(path, QCryptographicHash::Sha256).toHex().left(24));
}

namespace {
// The running copy may still be loading its lists: it listens only then.
bool connectTo(QLocalSocket &socket, const QString &folder, QString *error, int startingMs = kStartingMs)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        socket.connectToServer(handOffName(folder));
        if (socket.waitForConnected(kConnectMs))
            return true;
        const bool notYet = socket.error() == QLocalSocket::ServerNotFoundError
                            || socket.error() == QLocalSocket::ConnectionRefusedError;
        if (!notYet || waited.elapsed() > startingMs) {
            *error = socket.errorString();
            return false;
        }
        socket.abort();
        QThread::msleep(200);
    }
}

bool writeAll(QLocalSocket &socket, const QByteArray &bytes, QString *error)
{
    socket.write(bytes);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(kConnectMs)) {
            *error = socket.errorString();
            return false;
        }
    return true;
}
} // namespace

bool sendHandOff(const QString &folder, const QByteArray &message, QString *error)
{
    QLocalSocket socket;
    if (!connectTo(socket, folder, error) || !writeAll(socket, message, error))
        return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kConnectMs);
    return true;
}

Asked askHandOff(const QString &folder, const QByteArray &message, int startingMs, int answerMs, QByteArray *answer,
                 QString *error)
{
    QLocalSocket socket;
    if (!connectTo(socket, folder, error, startingMs))
        return Asked::NotRunning;
    if (!writeAll(socket, message + '\n', error))
        return Asked::Failed;
    // The answer may wait for the user (a file to overwrite): bounded all the same.
    constexpr qsizetype kMaxAnswerBytes = 1024 * 1024;
    QByteArray got;
    QElapsedTimer waited;
    waited.start();
    while (!got.contains('\n')) {
        const qint64 left = answerMs - waited.elapsed();
        if (left <= 0 || got.size() > kMaxAnswerBytes) {
            *error = u"el programa no ha respondido"_s;
            return Asked::Failed;
        }
        if (!socket.waitForReadyRead(int(left)) && socket.bytesAvailable() == 0) {
            *error = socket.state() == QLocalSocket::ConnectedState ? u"el programa no ha respondido"_s
                                                                    : u"el programa ha cerrado la conexión"_s;
            return Asked::Failed;
        }
        got += socket.readAll();
    }
    *answer = got.left(got.indexOf('\n'));
    socket.disconnectFromServer();
    return Asked::Answered;
}

HandOffServer::HandOffServer(qsizetype maxBytes, QObject *parent)
    : QObject(parent), server_(new QLocalServer(this)), maxBytes_(maxBytes)
{
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = server_->nextPendingConnection())
            take(socket);
    });
}

HandOffServer::~HandOffServer() = default;

bool HandOffServer::listen(const QString &folder, QString *error)
{
    const QString name = handOffName(folder);
    // This copy holds the folder's lock: a socket still there is a dead copy's.
    if (!server_->listen(name)) {
        QLocalServer::removeServer(name);
        if (!server_->listen(name)) {
            *error = server_->errorString();
            return false;
        }
    }
    return true;
}

void HandOffServer::take(QLocalSocket *socket)
{
    socket->setParent(this);
    if (!sameUser(socket)) {
        emit dropped(u"una conexión de otro usuario"_s);
        socket->abort();
        socket->deleteLater();
        return;
    }
    const auto buffer = std::make_shared<QByteArray>();
    auto *deadline = new QTimer(socket);
    deadline->setSingleShot(true);
    const auto finish = [this, socket, buffer, deadline](bool timedOut) {
        deadline->stop();
        socket->disconnect(this);
        const QByteArray message = std::move(*buffer);
        socket->abort();
        socket->deleteLater();
        if (timedOut)
            emit dropped(u"un mensaje que no terminó a tiempo"_s);
        else if (message.size() > maxBytes_)
            emit dropped(u"un mensaje de más de %1 bytes"_s.arg(maxBytes_));
        else
            emit received(message);
    };
    connect(socket, &QLocalSocket::readyRead, this, [socket, buffer, deadline, this] {
        // Past the limit only the fact is kept: the rest is read and thrown away.
        const QByteArray more = socket->readAll();
        if (buffer->size() <= maxBytes_)
            buffer->append(more.left(maxBytes_ + 1 - buffer->size()));
        // A line break ends a message whose sender waits for the answer.
        if (const qsizetype end = buffer->indexOf('\n'); end >= 0) {
            deadline->stop();
            socket->disconnect(this);
            answer(socket, buffer->left(end));
        }
    });
    connect(socket, &QLocalSocket::disconnected, this, [finish, socket, buffer, this] {
        const QByteArray rest = socket->readAll();
        if (buffer->size() <= maxBytes_)
            buffer->append(rest.left(maxBytes_ + 1 - buffer->size()));
        finish(false);
    });
    connect(deadline, &QTimer::timeout, this, [finish] { finish(true); });
    deadline->start(kMessageMs);
    if (socket->state() != QLocalSocket::ConnectedState) { // gone before it was seen
        buffer->append(socket->readAll().left(maxBytes_ + 1));
        finish(false);
    }
}

} // namespace platform

namespace platform {

void HandOffServer::answer(QLocalSocket *socket, const QByteArray &message)
{
    // Answering may ask the user something: the socket may be gone meanwhile.
    const QPointer<QLocalSocket> alive(socket);
    const QByteArray reply = answerer_ ? answerer_(message) : QByteArray();
    if (!alive)
        return;
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::bytesWritten, socket, [socket] {
        if (socket->bytesToWrite() == 0)
            socket->disconnectFromServer();
    });
    socket->write(reply + '\n');
    // A client that never reads is let go all the same.
    QTimer::singleShot(kMessageMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

} // namespace platform
