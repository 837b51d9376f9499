#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QQueue>
#include <QString>

class QTcpServer;
class QTcpSocket;

namespace testing {

// How HttpScriptServer answers one path.
struct HttpReplyOptions {
    // Resources: answer a Range with 206; false answers 200 with everything.
    bool honourRanges = true;
    // Body bytes sent before the connection is closed early (-1: never).
    qint64 cutAfterBytes = -1;
    // Body bytes sent before the server goes silent, the connection kept
    // open (-1: never). The body's size keeps it open after a full reply.
    qint64 stallAfterBytes = -1;
    // The header goes out in pieces of these sizes, pieceDelayMs apart;
    // the rest of the header travels together with the start of the body.
    QList<int> headerSplits;
    // The body goes out in pieces of this size, pieceDelayMs apart (0: at once).
    int bodyPieceSize = 0;
    int pieceDelayMs = 20;
    // Resources: Transfer-Encoding: chunked, chunks of chunkSize (0: one chunk).
    bool chunked = false;
    int chunkSize = 0;
    // Resources: without Content-Length the end of the body is the close.
    bool sendContentLength = true;
    // Resources: a ranged reply that starts at this offset, whatever was asked.
    qint64 wrongRangeOffset = -1;
    // Resources: more header lines, each ended by CR LF.
    QByteArray extraHeaders;
};

// An HTTP server inside the test process, on 127.0.0.1 and a free port. It
// records every request and answers from a script: a resource per path (with
// or without byte ranges), canned raw replies, and misbehaviour on demand
// (headers in pieces, chunked bodies, stalls, cut connections, wrong ranges).
// Single-threaded: it works while the test runs the event loop.
class HttpScriptServer : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HttpScriptServer)
public:
    using Options = HttpReplyOptions;

    struct Request {
        int connection = 0; // index of the connection it came on
        QByteArray raw;     // the request's bytes up to and including the blank line
        QByteArray method;
        QByteArray target; // as sent, e.g. "/dir/file.bin"
        QByteArray version;
        QList<QPair<QByteArray, QByteArray>> headers;

        // The first header of that name (any letter case), trimmed; null if absent.
        QByteArray header(const QByteArray &name) const;
        // "Range: bytes=a-[b]": a, or -1 without a usable Range.
        qint64 rangeStart() const;
        // b, or -1 when open-ended or absent.
        qint64 rangeEnd() const;
    };

    explicit HttpScriptServer(QObject *parent = nullptr);
    ~HttpScriptServer() override;

    bool isListening() const;
    quint16 port() const;
    // "http://127.0.0.1:PORT/path"; path with or without its leading slash.
    QString url(const QString &path) const;

    // What a path answers whenever its queue is empty.
    void setResource(const QString &path, const QByteArray &body, const Options &options = {});
    // A canned reply: the status line and headers as raw bytes (a missing
    // blank line is added, in the line-end style of the header), then body.
    // Options apply to how the bytes travel (splits, pieces, cut, stall).
    void setReply(const QString &path, const QByteArray &rawStatusAndHeaders, const QByteArray &body = {},
                  const Options &options = {});
    // One-shot answers, used in order before the path's standing answer.
    void enqueueResource(const QString &path, const QByteArray &body, const Options &options = {});
    void enqueueReply(const QString &path, const QByteArray &rawStatusAndHeaders, const QByteArray &body = {},
                      const Options &options = {});
    // Forgets every answer and record.
    void clear();

    QList<Request> requests() const { return requests_; }
    QList<Request> requests(const QString &path) const;
    int requestCount(const QString &path) const;
    // Every byte received, per connection, in connection order.
    QList<QByteArray> receivedBytes() const { return received_; }
    int connectionCount() const { return int(received_.size()); }
    // Connections still open on the server side.
    int openConnections() const;

signals:
    void requestReceived(int index);

private:
    struct Behaviour {
        bool resource = false;
        QByteArray head; // canned replies
        QByteArray body;
        Options options;
    };
    struct Connection;

    static QByteArray normalisedPath(const QString &path);
    void onNewConnection();
    void onReadyRead(Connection *c);
    void onDisconnected(Connection *c);
    Behaviour behaviourFor(const QByteArray &target);
    void startReply(Connection *c, const Request &request);
    void sendNextPiece(Connection *c);
    void finishReply(Connection *c);

    QTcpServer *server_ = nullptr;
    QHash<QByteArray, Behaviour> standing_;
    QHash<QByteArray, QQueue<Behaviour>> queued_;
    QList<Request> requests_;
    QList<QByteArray> received_;
    QList<Connection *> connections_;
};

} // namespace testing
