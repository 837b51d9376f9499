#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QTcpServer;

namespace testing {

// A TCP forwarder on 127.0.0.1 and a free port to a target host and port.
// It passes bytes both ways and can cut client connections after a number
// of bytes from the server, the way a flaky network drops a transfer.
class CuttingProxy : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CuttingProxy)
public:
    CuttingProxy(const QString &targetHost, quint16 targetPort, QObject *parent = nullptr);
    ~CuttingProxy() override;

    bool isListening() const;
    quint16 port() const;
    // "http://127.0.0.1:PORT/path" through the proxy.
    QString url(const QString &path) const;

    // Closes each client connection once `bytes` bytes from the server have
    // reached it (-1: never); only the first `firstConnections` connections
    // are cut (-1: all of them). Applies to connections made afterwards.
    void setCut(qint64 bytes, int firstConnections = -1);
    // At the cut, the client connection stays open and silent instead, the
    // way a dead route stalls a transfer.
    void setStallInsteadOfCut(bool stall) { stall_ = stall; }

    int connectionCount() const { return connections_; }
    int cutCount() const { return cuts_; }
    // Bytes handed to clients, per connection, in connection order.
    QList<qint64> bytesToClients() const { return toClients_; }

private:
    struct Link;
    void onNewConnection();
    void forwardFromServer(Link *link);
    void cut(Link *link);
    void closeIfDone(Link *link);

    QTcpServer *server_ = nullptr;
    QString targetHost_;
    quint16 targetPort_ = 0;
    qint64 cutAfter_ = -1;
    int cutConnections_ = -1;
    bool stall_ = false;
    int connections_ = 0;
    int cuts_ = 0;
    QList<qint64> toClients_;
    QList<Link *> links_;
};

} // namespace testing
