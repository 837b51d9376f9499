#include "cutting_proxy.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

using namespace Qt::StringLiterals;

namespace testing {

// One client connection and its connection to the target. It owns both
// sockets and is the context of their handlers.
struct CuttingProxy::Link : QObject {
    QTcpSocket *client = nullptr;
    QTcpSocket *upstream = nullptr;
    int index = 0;
    qint64 limit = -1;
    QByteArray toUpstream; // client bytes sent before the target answered the connect
    bool clientGone = false;
    bool upstreamGone = false;
    bool wasCut = false;
};

CuttingProxy::CuttingProxy(const QString &targetHost, quint16 targetPort, QObject *parent)
    : QObject(parent), server_(new QTcpServer(this)), targetHost_(targetHost), targetPort_(targetPort)
{
    connect(server_, &QTcpServer::newConnection, this, &CuttingProxy::onNewConnection);
    server_->listen(QHostAddress::LocalHost, 0);
}

CuttingProxy::~CuttingProxy()
{
    for (Link *link : std::as_const(links_)) {
        link->client->disconnect();
        link->upstream->disconnect();
        link->client->abort();
        link->upstream->abort();
        delete link;
    }
    links_.clear();
}

bool CuttingProxy::isListening() const
{
    return server_->isListening();
}

quint16 CuttingProxy::port() const
{
    return server_->serverPort();
}

QString CuttingProxy::url(const QString &path) const
{
    return u"http://127.0.0.1:"_s + QString::number(port()) + (path.startsWith(u'/') ? path : u'/' + path);
}

void CuttingProxy::setCut(qint64 bytes, int firstConnections)
{
    cutAfter_ = bytes;
    cutConnections_ = firstConnections;
}

void CuttingProxy::onNewConnection()
{
    while (QTcpSocket *client = server_->nextPendingConnection()) {
        auto *link = new Link;
        link->setParent(this);
        link->client = client;
        client->setParent(link);
        link->upstream = new QTcpSocket(link);
        link->index = connections_++;
        toClients_.append(0);
        if (cutConnections_ < 0 || link->index < cutConnections_)
            link->limit = cutAfter_;
        links_.append(link);

        QTcpSocket *up = link->upstream;
        connect(client, &QTcpSocket::readyRead, link, [link] {
            const QByteArray data = link->client->readAll();
            if (link->upstreamGone)
                return;
            if (link->upstream->state() == QAbstractSocket::ConnectedState)
                link->upstream->write(data);
            else
                link->toUpstream += data;
        });
        connect(client, &QTcpSocket::disconnected, link, [this, link] {
            link->clientGone = true;
            if (!link->upstreamGone) {
                if (link->upstream->state() == QAbstractSocket::ConnectedState) {
                    link->upstream->disconnectFromHost();
                } else {
                    link->upstream->abort();
                    link->upstreamGone = true;
                }
            }
            closeIfDone(link);
        });
        connect(up, &QTcpSocket::connected, link, [link] {
            link->upstream->write(link->toUpstream);
            link->toUpstream.clear();
        });
        connect(up, &QTcpSocket::readyRead, link, [this, link] { forwardFromServer(link); });
        auto upstreamEnded = [this, link] {
            if (link->upstreamGone)
                return;
            forwardFromServer(link);
            link->upstreamGone = true;
            link->client->disconnectFromHost(); // after what is still buffered for it
            if (link->client->state() == QAbstractSocket::UnconnectedState)
                link->clientGone = true;
            closeIfDone(link);
        };
        connect(up, &QTcpSocket::disconnected, link, upstreamEnded);
        connect(up, &QTcpSocket::errorOccurred, link, [up, upstreamEnded] {
            // A refused connect never reports "disconnected".
            if (up->state() == QAbstractSocket::UnconnectedState)
                upstreamEnded();
        });
        up->connectToHost(targetHost_, targetPort_);
    }
}

void CuttingProxy::forwardFromServer(Link *link)
{
    QByteArray data = link->upstream->readAll();
    if (link->wasCut || link->clientGone)
        return;
    qint64 &sent = toClients_[link->index];
    const bool cutNow = link->limit >= 0 && sent + data.size() >= link->limit;
    if (cutNow)
        data.truncate(link->limit - sent);
    if (!data.isEmpty())
        link->client->write(data);
    sent += data.size();
    if (cutNow)
        cut(link);
}

void CuttingProxy::cut(Link *link)
{
    link->wasCut = true;
    ++cuts_;
    link->upstreamGone = true;
    link->upstream->abort();
    if (stall_)
        return;                         // the client waits until it gives up itself
    link->client->disconnectFromHost(); // the bytes let through still arrive
    if (link->client->state() == QAbstractSocket::UnconnectedState)
        link->clientGone = true;
    closeIfDone(link);
}

void CuttingProxy::closeIfDone(Link *link)
{
    if (!link->clientGone || !link->upstreamGone || !links_.contains(link))
        return;
    links_.removeOne(link);
    link->deleteLater();
}

} // namespace testing
