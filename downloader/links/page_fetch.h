#pragma once

#include <QObject>
#include <QStringDecoder>

class QTcpSocket;

// The link window's own small HTTP client, over TLS for https pages with the
// certificate verified as for downloads: one GET with "Connection: close",
// the whole reply (status line and headers included) handed on as text with
// every apostrophe turned into a double quote, so single-quoted values scan
// like double-quoted ones.
class PageFetch : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PageFetch)
public:
    // More than this is not read: a page is text, and a server that sends
    // without end must not fill the memory.
    static constexpr qint64 kMaxBytes = 8 * 1024 * 1024;

    explicit PageFetch(QObject *parent = nullptr);
    ~PageFetch() override;

    // The request, byte for byte: no port in the host line, no range.
    static QByteArray request(const QString &host, const QString &path);

    // Drops any fetch still running and connects for a new one.
    void start(const QString &host, quint16 port, const QString &path, bool secure = false);
    // Drops the connection; nothing more is reported for this fetch.
    void stop();
    bool running() const { return running_; }
    qint64 bytesReceived() const { return received_; }

signals:
    void received(const QString &text);
    // The server closed the connection: the page is complete.
    void finished();
    // kMaxBytes arrived; the connection was dropped.
    void capped();
    void failed(const QString &description);

private:
    void makeSocket(bool secure);
    void onConnected();
    void onReadyRead();
    void onDisconnected();
    void onError();

    QTcpSocket *ws_ = nullptr;
    QStringDecoder decoder_;
    QByteArray request_;
    QString host_;
    QString refusal_; // the certificate's problem, told when the handshake fails
    qint64 received_ = 0;
    bool running_ = false;
};
