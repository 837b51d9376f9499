#pragma once

#include "core/http_decision.h"
#include "core/http_response.h"
#include "core/tls_config.h"
#include "core/transfer.h"

#include <QByteArray>
#include <QList>
#include <QSslError>

// One download over HTTP: the connection ws, the request with its byte
// range, the response header's decision, and the body into the file.
// A download over several connections builds on it (segmented_http_transfer.h).
class HttpTransfer : public Transfer {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HttpTransfer)
public:
    explicit HttpTransfer(const TransferJob &job);
    ~HttpTransfer() override;

protected:
    void start() override;
    void dropSockets() override;
    void readShare() override;

    // Body bytes of the first connection, after the header and any chunked
    // framing; false when the transfer ended inside.
    virtual bool takeBody(const char *data, qint64 size);
    // The first connection's reply is being written to the file; false when
    // the transfer ended inside.
    virtual bool replyAccepted(const ResponseFacts &facts, const ResponseDecision &decision,
                               const QByteArray &validator, const QByteArray &acceptRanges);
    // The bytes of the target file that count as fetched (the file is open).
    virtual qint64 bytesOnDisk() const;
    // The last byte the first request asks for when asking from `from`; -1
    // for the rest of the file.
    virtual qint64 firstRequestLast(qint64 from) const;
    // The first connection is aborted without its signals.
    void dropFirstConnection();
    bool firstConnectionOpen() const;
    bool secure() const { return secure_; }
    QByteArray fileValidator() const override { return validator_; }

private:
    void onConnected();
    void onSslErrors(const QList<QSslError> &errors);
    bool refuseCertificate(); // stops with the certificate's problem, if there was one
    void onReadyRead();
    // Takes what the socket holds (all of it, or a wake-up's share); false
    // when a redirect among it started another connection.
    bool drain(bool all = false);
    void onDisconnected();
    void onError();
    // Takes received bytes; false when the transfer ended inside.
    bool consume(const char *data, qint64 size);
    bool handleHeader();
    void followRedirect(const QString &location);
    void closeAllAndTell(); // the file is gone from the server
    void finishOrLose();
    void connectionEnded(); // the peer closed, or the connection failed
    void onAlert(QSsl::AlertType type);
    void tlsClosed(int connection); // the server's close_notify: over TLS the one true end of a body

    QTcpSocket *ws_ = nullptr;
    bool secure_ = false; // ws_ speaks TLS
    HttpResponseParser response_;
    ChunkedDecoder chunks_;
    bool chunked_ = false;
    bool bodyComplete_ = false; // the body ended by its own framing
    qint64 requestedFrom_ = 0;  // first byte asked for (0-based)
    int redirects_ = 0;         // redirects followed in a row
    bool handshaking_ = false;  // TLS handshake under way: a close is a lost connection
    Message refusal_;           // the certificate's problem, told once the handshake ends
    QByteArray validator_;      // the file's ETag or Last-Modified, sent as If-Range
    QByteArray firstType_;      // Content-Type of the reply that started the file: a page may stay a page
    bool ifRangeSent_ = false;
    bool closeNotified_ = false; // the server ended TLS properly; a TCP close alone may be a cut
    int connection_ = 0;         // counts start(): a queued step of an earlier connection is dropped
};
