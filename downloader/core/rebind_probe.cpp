#include "core/rebind_probe.h"

#include "core/http_request.h"
#include "core/quiet_abort.h"
#include "core/response_facts.h"
#include "core/tls_config.h"
#include "core/url.h"

#include <QFile>
#include <QSslSocket>
#include <QTimer>
#include <QUrl>

using namespace Qt::StringLiterals;

RebindProbe::RebindProbe(const RebindTarget &target) : target_(target) {}

RebindProbe::~RebindProbe()
{
    quietAbort(socket_);
}

void RebindProbe::start()
{
    timeout_ = new QTimer(this);
    timeout_->setSingleShot(true);
    connect(timeout_, &QTimer::timeout, this, [this] { finish(BindVerdict::NoAnswer); });
    timeout_->start(kTimeoutMs);

    known_.size = target_.size;
    known_.validator = target_.validator;
    known_.tailFrom = std::max<qint64>(0, target_.onDisk - kRebindTailBytes);
    QFile file(target_.file);
    if (target_.onDisk <= 0 || !file.open(QIODevice::ReadOnly) || file.size() < target_.onDisk
        || !file.seek(known_.tailFrom)) {
        finish(BindVerdict::DiskUnreadable);
        return;
    }
    known_.tail = file.read(target_.onDisk - known_.tailFrom);
    if (known_.tail.size() != target_.onDisk - known_.tailFrom) {
        finish(BindVerdict::DiskUnreadable);
        return;
    }
    connectTo(target_.url);
}

void RebindProbe::connectTo(const QString &url)
{
    const std::optional<QString> host = hostOf(url);
    if (!host || !(url.startsWith(u"http://"_s) || url.startsWith(u"https://"_s))) {
        finish(BindVerdict::NoAnswer);
        return;
    }
    current_ = url;
    host_ = *host;
    port_ = GetPort(url);
    path_ = GetPath(url);
    secure_ = url.startsWith(u"https://"_s);
    response_.reset();
    chunks_.reset();
    reply_ = {};
    if (socket_) {
        quietAbort(socket_);
        socket_->disconnect(this);
        socket_->deleteLater();
    }
    socket_ = newSocket(secure_, this);
    whenOpened(socket_, this, [this] { onConnected(); });
    connect(socket_, &QTcpSocket::readyRead, this, &RebindProbe::onReadyRead);
    connect(socket_, &QTcpSocket::disconnected, this, &RebindProbe::onClosed);
    // A refused certificate ends the handshake with an error: no answer.
    connect(socket_, &QTcpSocket::errorOccurred, this, &RebindProbe::onClosed);
    openSocket(socket_, host_, port_);
}

void RebindProbe::onConnected()
{
    RangeRequest request;
    request.host = host_;
    request.port = port_;
    request.secure = secure_;
    request.path = path_;
    request.first = known_.tailFrom;
    request.last = target_.onDisk - 1;
    socket_->write(rangeRequestBytes(request));
}

void RebindProbe::onReadyRead()
{
    if (done_)
        return;
    const QByteArray data = socket_->readAll();
    QByteArray body;
    if (response_.state() != HttpResponseParser::State::Complete) {
        const auto state = response_.feed(data, &body);
        if (state == HttpResponseParser::State::Incomplete)
            return;
        if (state == HttpResponseParser::State::Bad) {
            finish(BindVerdict::NoAnswer);
            return;
        }
        const ResponseFacts facts = replyFacts(response_);
        const int status = facts.status;
        if ((status == 301 || status == 302 || status == 303 || status == 307 || status == 308)
            && !facts.location.trimmed().isEmpty() && locationIsSafe(facts.location)) {
            if (++redirects_ > kMaxRedirects) {
                finish(BindVerdict::NoAnswer);
                return;
            }
            const QString to = QUrl(current_).resolved(QUrl(QString::fromUtf8(facts.location.trimmed()))).toString();
            connectTo(to);
            return;
        }
        reply_.answered = true;
        reply_.status = status;
        reply_.ranged = facts.ranged;
        reply_.rangeFirst = facts.rangeFirst;
        reply_.rangeTotal = facts.rangeTotal;
        reply_.validator = replyValidator(response_);
        reply_.contentType = response_.header("Content-Type");
        // Anything but the range asked for is judged without its body.
        if (status != 206) {
            finishWithReply();
            return;
        }
    } else {
        body = data;
    }
    if (response_.chunked()) {
        QByteArray decoded;
        if (chunks_.feed(body, &decoded) == ChunkedDecoder::State::Bad) {
            finish(BindVerdict::NoAnswer);
            return;
        }
        body = decoded;
    }
    // Never more than the tail: a server sending more is not answering the range.
    reply_.body += body.left(known_.tail.size() + 1 - reply_.body.size());
    if (reply_.body.size() >= known_.tail.size())
        finishWithReply();
}

void RebindProbe::onClosed()
{
    if (done_)
        return;
    // A cut before the whole tail came proves nothing either way.
    if (!reply_.answered || reply_.body.size() < known_.tail.size())
        finish(BindVerdict::NoAnswer);
    else
        finishWithReply();
}

void RebindProbe::finishWithReply()
{
    finish(judgeProbe(known_, reply_));
}

void RebindProbe::finish(BindVerdict verdict)
{
    if (done_)
        return;
    done_ = true;
    if (timeout_)
        timeout_->stop();
    quietAbort(socket_);
    emit judged(verdict);
}
