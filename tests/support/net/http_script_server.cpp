#include "http_script_server.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace testing {

// One client connection. It is the context of its timers, so a timer never
// fires after the connection is gone.
struct HttpScriptServer::Connection : QObject {
    QTcpSocket *socket = nullptr;
    int index = 0;
    QByteArray buffer;     // bytes of a request not yet complete
    bool replying = false; // a reply has started; later requests are ignored
    bool closed = false;
    QList<QByteArray> pieces; // what is still to be sent, in order
    int delayMs = 0;
    bool stallAtEnd = false; // keep the connection open after the last piece
};

namespace {

// The end of a request header: the blank line, in either line-end style.
qsizetype headerEnd(const QByteArray &buffer, int *terminatorLength)
{
    const qsizetype crlf = buffer.indexOf("\r\n\r\n");
    const qsizetype lf = buffer.indexOf("\n\n");
    if (crlf >= 0 && (lf < 0 || crlf < lf)) {
        *terminatorLength = 4;
        return crlf;
    }
    *terminatorLength = 2;
    return lf;
}

HttpScriptServer::Request parseRequest(const QByteArray &raw)
{
    HttpScriptServer::Request r;
    r.raw = raw;
    const QList<QByteArray> lines = raw.split('\n');
    bool first = true;
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (first) {
            const QList<QByteArray> parts = line.split(' ');
            r.method = parts.value(0);
            r.target = parts.value(1);
            r.version = parts.value(2);
            first = false;
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            r.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    return r;
}

// "bytes=a-b" of the first range; false when the Range is absent or unusable.
bool parseRange(const QByteArray &value, qint64 *start, qint64 *end)
{
    if (!value.startsWith("bytes="))
        return false;
    const QByteArray first = value.mid(6).split(',').value(0).trimmed();
    const qsizetype dash = first.indexOf('-');
    if (dash <= 0)
        return false; // suffix ranges are not served
    bool ok = false;
    *start = first.left(dash).trimmed().toLongLong(&ok);
    if (!ok || *start < 0)
        return false;
    const QByteArray last = first.mid(dash + 1).trimmed();
    *end = -1;
    if (!last.isEmpty()) {
        *end = last.toLongLong(&ok);
        if (!ok || *end < *start)
            return false;
    }
    return true;
}

QByteArray chunkedBody(const QByteArray &payload, int chunkSize)
{
    QByteArray out;
    const qsizetype step = chunkSize > 0 ? chunkSize : qMax<qsizetype>(payload.size(), 1);
    for (qsizetype at = 0; at < payload.size(); at += step) {
        const QByteArray piece = payload.mid(at, step);
        out += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
    }
    return out + "0\r\n\r\n";
}

// Status line, headers and the bytes after them for a resource.
void resourceReply(const HttpScriptServer::Request &request, const QByteArray &body, const HttpScriptServer::Options &o,
                   QByteArray *head, QByteArray *payload)
{
    const qint64 total = body.size();
    qint64 start = -1;
    qint64 end = -1;
    const bool asked = parseRange(request.header("Range"), &start, &end);
    QByteArray status = "200 OK";
    QByteArray range;
    *payload = body;
    if (asked && (o.honourRanges || o.wrongRangeOffset >= 0)) {
        const qint64 from = o.wrongRangeOffset >= 0 ? o.wrongRangeOffset : start;
        if (from >= total) {
            status = "416 Range Not Satisfiable";
            range = "bytes */" + QByteArray::number(total);
            payload->clear();
        } else {
            const qint64 last = (end >= 0 && o.wrongRangeOffset < 0) ? qMin(end, total - 1) : total - 1;
            status = "206 Partial Content";
            range =
                "bytes " + QByteArray::number(from) + '-' + QByteArray::number(last) + '/' + QByteArray::number(total);
            *payload = body.mid(from, last - from + 1);
        }
    }
    QByteArray h = "HTTP/1.1 " + status + "\r\nContent-Type: application/octet-stream\r\n";
    if (o.honourRanges)
        h += "Accept-Ranges: bytes\r\n";
    if (!range.isEmpty())
        h += "Content-Range: " + range + "\r\n";
    if (o.chunked)
        h += "Transfer-Encoding: chunked\r\n";
    else if (o.sendContentLength)
        h += "Content-Length: " + QByteArray::number(payload->size()) + "\r\n";
    h += o.extraHeaders + "Connection: close\r\n\r\n";
    *head = h;
    if (o.chunked)
        *payload = chunkedBody(*payload, o.chunkSize);
    if (request.method == "HEAD")
        payload->clear();
}

// A canned header gets its blank line when the test left it out.
QByteArray completedHead(const QByteArray &raw)
{
    if (raw.endsWith("\r\n\r\n") || raw.endsWith("\n\n"))
        return raw;
    if (raw.endsWith("\r\n"))
        return raw + "\r\n";
    if (raw.endsWith('\n'))
        return raw + '\n';
    return raw + "\r\n\r\n";
}

} // namespace

QByteArray HttpScriptServer::Request::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

qint64 HttpScriptServer::Request::rangeStart() const
{
    qint64 start = -1;
    qint64 end = -1;
    return parseRange(header("Range"), &start, &end) ? start : -1;
}

qint64 HttpScriptServer::Request::rangeEnd() const
{
    qint64 start = -1;
    qint64 end = -1;
    return parseRange(header("Range"), &start, &end) ? end : -1;
}

HttpScriptServer::HttpScriptServer(QObject *parent) : QObject(parent), server_(new QTcpServer(this))
{
    connect(server_, &QTcpServer::newConnection, this, &HttpScriptServer::onNewConnection);
    server_->listen(QHostAddress::LocalHost, 0);
}

HttpScriptServer::~HttpScriptServer()
{
    // Connections go first, so none of their handlers runs on a dying server.
    for (Connection *c : std::as_const(connections_)) {
        c->socket->disconnect();
        c->socket->abort();
        delete c;
    }
    connections_.clear();
}

bool HttpScriptServer::isListening() const
{
    return server_->isListening();
}

quint16 HttpScriptServer::port() const
{
    return server_->serverPort();
}

QString HttpScriptServer::url(const QString &path) const
{
    return u"http://127.0.0.1:"_s + QString::number(port()) + QString::fromLatin1(normalisedPath(path));
}

QByteArray HttpScriptServer::normalisedPath(const QString &path)
{
    const QByteArray p = path.toUtf8();
    return p.startsWith('/') ? p : '/' + p;
}

void HttpScriptServer::setResource(const QString &path, const QByteArray &body, const Options &options)
{
    standing_.insert(normalisedPath(path), Behaviour{true, {}, body, options});
}

void HttpScriptServer::setReply(const QString &path, const QByteArray &rawStatusAndHeaders, const QByteArray &body,
                                const Options &options)
{
    standing_.insert(normalisedPath(path), Behaviour{false, completedHead(rawStatusAndHeaders), body, options});
}

void HttpScriptServer::enqueueResource(const QString &path, const QByteArray &body, const Options &options)
{
    queued_[normalisedPath(path)].enqueue(Behaviour{true, {}, body, options});
}

void HttpScriptServer::enqueueReply(const QString &path, const QByteArray &rawStatusAndHeaders, const QByteArray &body,
                                    const Options &options)
{
    queued_[normalisedPath(path)].enqueue(Behaviour{false, completedHead(rawStatusAndHeaders), body, options});
}

void HttpScriptServer::clear()
{
    standing_.clear();
    queued_.clear();
    requests_.clear();
    received_.clear();
}

QList<HttpScriptServer::Request> HttpScriptServer::requests(const QString &path) const
{
    const QByteArray p = normalisedPath(path);
    QList<Request> found;
    for (const Request &r : requests_) {
        if (r.target == p)
            found.append(r);
    }
    return found;
}

int HttpScriptServer::requestCount(const QString &path) const
{
    return int(requests(path).size());
}

int HttpScriptServer::openConnections() const
{
    return int(connections_.size());
}

void HttpScriptServer::onNewConnection()
{
    while (QTcpSocket *socket = server_->nextPendingConnection()) {
        auto *c = new Connection;
        c->setParent(this);
        c->socket = socket;
        socket->setParent(c);
        c->index = int(received_.size());
        received_.append(QByteArray());
        connections_.append(c);
        connect(socket, &QTcpSocket::readyRead, c, [this, c] { onReadyRead(c); });
        connect(socket, &QTcpSocket::disconnected, c, [this, c] { onDisconnected(c); });
    }
}

void HttpScriptServer::onReadyRead(Connection *c)
{
    const QByteArray data = c->socket->readAll();
    if (c->index < received_.size())
        received_[c->index] += data;
    if (c->replying)
        return;
    c->buffer += data;
    int terminator = 0;
    const qsizetype end = headerEnd(c->buffer, &terminator);
    if (end < 0)
        return;
    Request request = parseRequest(c->buffer.left(end + terminator));
    request.connection = c->index;
    c->buffer.clear();
    c->replying = true;
    requests_.append(request);
    startReply(c, request);
    emit requestReceived(int(requests_.size()) - 1);
}

void HttpScriptServer::onDisconnected(Connection *c)
{
    if (c->closed)
        return;
    c->closed = true;
    connections_.removeOne(c);
    c->deleteLater();
}

HttpScriptServer::Behaviour HttpScriptServer::behaviourFor(const QByteArray &target)
{
    QByteArray key = target;
    if (!queued_.contains(key) && !standing_.contains(key))
        key = target.left(target.indexOf('?')); // the query is not part of the path
    auto queue = queued_.find(key);
    if (queue != queued_.end() && !queue->isEmpty())
        return queue->dequeue();
    const auto standing = standing_.constFind(key);
    if (standing != standing_.constEnd())
        return *standing;
    return Behaviour{
        false, "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\n", "not found", {}};
}

void HttpScriptServer::startReply(Connection *c, const Request &request)
{
    const Behaviour b = behaviourFor(request.target);
    const Options &o = b.options;
    QByteArray head = b.head;
    QByteArray payload = b.body;
    if (b.resource)
        resourceReply(request, b.body, o, &head, &payload);

    // Body bytes on the wire before the reply ends early.
    qint64 limit = payload.size();
    if (o.cutAfterBytes >= 0)
        limit = qMin(limit, o.cutAfterBytes);
    if (o.stallAfterBytes >= 0 && o.stallAfterBytes <= limit) {
        limit = o.stallAfterBytes;
        c->stallAtEnd = true;
    }
    payload.truncate(limit);

    for (const int size : o.headerSplits) {
        if (head.isEmpty())
            break;
        c->pieces.append(head.left(qMax(size, 1)));
        head.remove(0, qMax(size, 1));
    }
    const qsizetype step = o.bodyPieceSize > 0 ? o.bodyPieceSize : qMax<qsizetype>(payload.size(), 1);
    QByteArray first = head + payload.left(step);
    c->pieces.append(first);
    for (qsizetype at = step; at < payload.size(); at += step)
        c->pieces.append(payload.mid(at, step));
    c->delayMs = o.pieceDelayMs;
    sendNextPiece(c);
}

void HttpScriptServer::sendNextPiece(Connection *c)
{
    if (c->closed)
        return;
    if (!c->pieces.isEmpty()) {
        const QByteArray piece = c->pieces.takeFirst();
        if (!piece.isEmpty())
            c->socket->write(piece);
        c->socket->flush();
    }
    if (c->pieces.isEmpty()) {
        finishReply(c);
        return;
    }
    QTimer::singleShot(c->delayMs, c, [this, c] { sendNextPiece(c); });
}

void HttpScriptServer::finishReply(Connection *c)
{
    // A stalled reply keeps the connection open until the client gives up.
    if (c->stallAtEnd)
        return;
    // Every reply says Connection: close; this sends what is buffered first.
    c->socket->disconnectFromHost();
}

} // namespace testing
