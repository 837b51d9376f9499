#include "links/page_fetch.h"

#include "core/http_decision.h"
#include "core/tls_config.h"
#include "engine/wording.h"

#include <QSslSocket>

using namespace Qt::StringLiterals;

PageFetch::PageFetch(QObject *parent) : QObject(parent)
{
    makeSocket(false);
}

// A page over https needs a TLS socket, one over http a plain one.
void PageFetch::makeSocket(bool secure)
{
    if (ws_ && (qobject_cast<QSslSocket *>(ws_) != nullptr) == secure)
        return;
    if (ws_) {
        ws_->disconnect(this);
        ws_->abort();
        ws_->deleteLater();
    }
    if (secure) {
        auto *tls = new QSslSocket(this);
        connect(tls, &QSslSocket::encrypted, this, &PageFetch::onConnected);
        connect(tls, &QSslSocket::sslErrors, this,
                [this](const QList<QSslError> &errors) { refusal_ = certificateProblem(host_, errors); });
        ws_ = tls;
    } else {
        ws_ = new QTcpSocket(this);
        connect(ws_, &QTcpSocket::connected, this, &PageFetch::onConnected);
    }
    ws_->setObjectName(u"ws"_s);
    connect(ws_, &QTcpSocket::readyRead, this, &PageFetch::onReadyRead);
    connect(ws_, &QTcpSocket::disconnected, this, &PageFetch::onDisconnected);
    connect(ws_, &QTcpSocket::errorOccurred, this, &PageFetch::onError);
}

PageFetch::~PageFetch()
{
    running_ = false;
    ws_->abort();
}

QByteArray PageFetch::request(const QString &host, const QString &path)
{
    const QString text = u"GET /"_s + path + u" HTTP/1.1\r\nHost: "_s + host + u"\r\nConnection: close\r\n\r\n"_s;
    return text.toLocal8Bit();
}

void PageFetch::start(const QString &host, quint16 port, const QString &path, bool secure)
{
    stop();
    makeSocket(secure);
    host_ = host;
    refusal_.clear();
    request_ = request(host, path);
    received_ = 0;
    // Pages come in the system's encoding; a character split between two
    // packets is joined again.
    decoder_ = QStringDecoder(QStringDecoder::System);
    running_ = true;
    if (auto *tls = qobject_cast<QSslSocket *>(ws_)) {
        tls->setSslConfiguration(verifyingTlsConfiguration());
        tls->connectToHostEncrypted(host, port);
    } else
        ws_->connectToHost(host, port);
}

void PageFetch::stop()
{
    running_ = false;
    ws_->abort();
}

void PageFetch::onConnected()
{
    if (running_)
        ws_->write(request_);
}

void PageFetch::onReadyRead()
{
    if (!running_)
        return;
    const QByteArray bytes = ws_->read(kMaxBytes - received_);
    received_ += bytes.size();
    if (!bytes.isEmpty()) {
        QString text = decoder_.decode(bytes);
        text.replace(u'\'', u'"');
        emit received(text);
    }
    if (running_ && received_ >= kMaxBytes) {
        stop();
        emit capped();
    }
}

void PageFetch::onDisconnected()
{
    if (!running_)
        return;
    // What arrived together with the close is still part of the page.
    while (running_ && ws_->bytesAvailable() > 0)
        onReadyRead();
    if (!running_)
        return;
    stop();
    emit finished();
}

void PageFetch::onError()
{
    // The server closing is how the page ends, not a failure.
    if (!running_ || ws_->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    // A refused certificate is told by its problem, not by the socket's words.
    const QString description = refusal_.isEmpty() ? ws_->errorString() : refusal_;
    stop();
    emit failed(description);
}
