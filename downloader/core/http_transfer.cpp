// The HTTP client of one download.
#include "core/http_transfer.h"

#include "core/address_rebind.h"
#include "core/completion.h"
#include "core/http_decision.h"
#include "core/http_request.h"
#include "core/quiet_abort.h"
#include "core/response_facts.h"
#include "core/tls_config.h"
#include "core/url.h"

#include <QDateTime>
#include <QSslSocket>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {
constexpr int kMaxRedirects = 10;

QString resolveLocation(const QString &current, const QString &location)
{
    if (location.startsWith(u"http://"_s) || location.startsWith(u"https://"_s) || location.startsWith(u"ftp://"_s))
        return location;
    return QUrl(current).resolved(QUrl(location)).toString();
}

bool isSecure(const QString &url)
{
    return url.startsWith(u"https://"_s);
}
} // namespace

HttpTransfer::HttpTransfer(const TransferJob &job) : Transfer(job) {}

HttpTransfer::~HttpTransfer()
{
    dropSockets();
}

void HttpTransfer::dropSockets()
{
    handshaking_ = false;
    dropReadLater();
    quietAbort(ws_);
}

void HttpTransfer::start()
{
    const bool secure = isSecure(job_.url);
    // A redirect may cross between http and https: the socket must fit.
    if (ws_ && secure_ != secure) {
        quietAbort(ws_);
        ws_->disconnect(this);
        ws_->deleteLater();
        ws_ = nullptr;
    }
    if (!ws_) {
        ws_ = makeSocket(secure);
        secure_ = secure;
        if (auto *tls = qobject_cast<QSslSocket *>(ws_)) {
            connect(tls, &QSslSocket::encrypted, this, &HttpTransfer::onConnected);
            connect(tls, &QSslSocket::sslErrors, this, &HttpTransfer::onSslErrors);
            connect(tls, &QSslSocket::alertReceived, this,
                    [this](QSsl::AlertLevel, QSsl::AlertType type, const QString &) { onAlert(type); });
        } else {
            connect(ws_, &QTcpSocket::connected, this, &HttpTransfer::onConnected);
        }
        connect(ws_, &QTcpSocket::readyRead, this, &HttpTransfer::onReadyRead);
        connect(ws_, &QTcpSocket::disconnected, this, &HttpTransfer::onDisconnected);
        connect(ws_, &QTcpSocket::errorOccurred, this, &HttpTransfer::onError);
    }
    quietAbort(ws_);
    dropReadLater();
    response_.reset();
    chunks_.reset();
    chunked_ = false;
    bodyComplete_ = false;
    ifRangeSent_ = false;
    closeNotified_ = false;
    ++connection_;
    refusal_ = {};
    handshaking_ = secure_;
    openSocket(ws_, job_.host, job_.port);
}

// Never ignored: a certificate that does not prove the server stops the
// download. The socket fails the handshake itself right after this signal;
// the stop waits for that, so the failure is not also taken for a lost line.
void HttpTransfer::onSslErrors(const QList<QSslError> &errors)
{
    refusal_ = certificateNotice(job_.host, job_.url, errors);
}

bool HttpTransfer::refuseCertificate()
{
    if (refusal_.isEmpty())
        return false;
    const Message notice = refusal_;
    refusal_ = {};
    report(TransferEvent::Kind::Problem, notice);
    stop(notice);
    return true;
}

void HttpTransfer::onConnected()
{
    handshaking_ = false;
    if (job_.position == 0)
        job_.position = 1;
    if (!openTarget())
        return;
    const qint64 length = bytesOnDisk();
    if (length != job_.position)
        job_.position = length + 1;
    // Bytes this download did not write itself are proven before anything
    // is appended to them: the tail is asked for again and compared.
    requestedFrom_ = ownBytes_ ? job_.position - 1 : resumeFrom(length);

    if (!hostIsSafe(job_.host)) {
        stop(say(Message::Id::BadAddress, {job_.url}));
        return;
    }
    const SessionHeaders session = sessionHeaders(job_.session, job_.url);
    const RangeRequest request{job_.host,  job_.port,      isSecure(job_.url),
                               job_.path,  requestedFrom_, firstRequestLast(requestedFrom_),
                               validator_, session.cookie, session.referer};
    ifRangeSent_ = requestedFrom_ > 0 && !validator_.isEmpty();
    ws_->write(rangeRequestBytes(request));
    positionAtConnect_ = job_.position;
    report(TransferEvent::Kind::Connected);
}

// A TLS socket signals every few kilobytes it decrypts, while it is still
// decrypting. Taking each piece at once would cost a file write per 4 KiB;
// the read waits until the socket has decrypted what the network delivered.
void HttpTransfer::onReadyRead()
{
    if (!secure_) {
        drain();
        return;
    }
    readLater();
}

void HttpTransfer::readShare()
{
    drain();
}

bool HttpTransfer::drain(bool all)
{
    const int connection = connection_;
    bool closed = false;
    bool more = false;
    bool going = true;
    do {
        going = pump(ws_, &closed, &more, [this](const char *data, qint64 size) {
            if (!consume(data, size))
                return false;
            if (complete() || bodyComplete_) {
                quietAbort(ws_);
                finishOrLose();
                return false;
            }
            return true;
        });
    } while (all && going && more);
    if (closed) {
        connectionEnded();
    } else if (going) {
        reportProgress(false);
        if (more)
            readLater();
    }
    // A redirect inside opened another connection: what follows is not this one's.
    return connection == connection_;
}

void HttpTransfer::connectionEnded()
{
    if (!file_) {
        // Closed in the middle of the TLS handshake: a refused certificate,
        // or else a network failure.
        if (handshaking_ && !refuseCertificate())
            lose(say(Message::Id::ConnectionLost, {job_.url}));
        return;
    }
    if (ws_->error() != QAbstractSocket::RemoteHostClosedError && ws_->error() != QAbstractSocket::UnknownSocketError)
        lose(say(Message::Id::SocketError, {ws_->errorString()}));
    else
        finishOrLose();
}

bool HttpTransfer::consume(const char *data, qint64 size)
{
    if (response_.state() == HttpResponseParser::State::Complete && !chunked_)
        return takeBody(data, size);

    QByteArray body;
    if (response_.state() != HttpResponseParser::State::Complete) {
        const auto state = response_.feed(QByteArray(data, size), &body);
        if (state == HttpResponseParser::State::Incomplete)
            return true;
        if (state == HttpResponseParser::State::Bad) {
            lose(say(Message::Id::BadReply, {job_.host}));
            return false;
        }
        if (!handleHeader())
            return false;
    } else {
        body = QByteArray(data, size);
    }
    if (chunked_) {
        QByteArray decoded;
        const auto chunkState = chunks_.feed(body, &decoded);
        if (chunkState == ChunkedDecoder::State::Bad) {
            lose(say(Message::Id::BadReply, {job_.host}));
            return false;
        }
        bodyComplete_ = chunkState == ChunkedDecoder::State::Done;
        body = decoded;
    }
    return takeBody(body.constData(), body.size());
}

// Acts on a complete response header; false when the transfer ended here.
bool HttpTransfer::handleHeader()
{
    ResponseFacts facts = replyFacts(response_);
    facts.requestedFrom = requestedFrom_;
    facts.onDisk = file_ ? bytesOnDisk() : 0;
    facts.knownSize = job_.size;
    facts.url = job_.url;
    facts.host = job_.host;
    facts.ifRangeSent = ifRangeSent_;
    facts.contentType = response_.header("Content-Type");
    facts.fileIsPage = fileIsPage(job_.file, firstType_);
    facts.file = job_.file;
    facts.sessionLost = job_.sessionLost;
    const QByteArray validator = replyValidator(response_);
    const ResponseDecision decision = decideResponse(facts);

    if (decision.kind != ResponseDecision::Kind::Redirect)
        redirects_ = 0;
    switch (decision.kind) {
    case ResponseDecision::Kind::Redirect:
        followRedirect(QString::fromUtf8(decision.location));
        return false;
    case ResponseDecision::Kind::Retry:
        if (!decision.notice.isEmpty())
            report(TransferEvent::Kind::Problem, decision.notice);
        lose(decision.notice.isEmpty() ? say(Message::Id::BadReply, {job_.host}) : decision.notice,
             decision.retryAfter);
        return false;
    case ResponseDecision::Kind::Stop:
        if (decision.sizeChanged || decision.logged)
            report(TransferEvent::Kind::Problem, decision.notice);
        // A size change keeps its reason: a reconnection to the same address starts over.
        stop(decision.notice, decision.sizeChanged      ? StopReason::SizeChanged
                              : decision.addressExpired ? StopReason::AddressExpired
                                                        : StopReason::Refused);
        return false;
    case ResponseDecision::Kind::Remove:
        closeAllAndTell();
        return false;
    case ResponseDecision::Kind::Finished:
        job_.size = decision.size;
        job_.position = decision.size + 1;
        finishOrLose();
        return false;
    case ResponseDecision::Kind::RestartFromStart:
        restartFromStart(say(Message::Id::NotPartOf, {job_.file, job_.url}));
        return false;
    case ResponseDecision::Kind::Write:
        break;
    }

    if (decision.fileChanged) {
        const Message why = say(Message::Id::FileChanged, {job_.url});
        report(TransferEvent::Kind::Problem, why);
        report(TransferEvent::Kind::Status, why);
    }
    // The validator of the file whose bytes are being written now.
    if (decision.writeFrom == 0 || validator_.isEmpty())
        validator_ = validator;
    if (decision.writeFrom == 0)
        firstType_ = facts.contentType;
    chunked_ = facts.chunked;
    job_.resumable = decision.resumable;
    job_.size = decision.size;
    if (decision.writeFrom == 0) {
        // The whole file: nothing of what was on disk may stay.
        rewriteFromStart();
    } else {
        startProof(decision.writeFrom, facts.onDisk);
    }
    file_->seek(decision.writeFrom + proofLeft_);
    job_.position = decision.writeFrom + proofLeft_ + 1;
    positionAtConnect_ = job_.position;
    reportProgress(true);
    return replyAccepted(facts, decision, validator_, response_.header("Accept-Ranges"));
}

bool HttpTransfer::takeBody(const char *data, qint64 size)
{
    return writeBody(data, size);
}

bool HttpTransfer::replyAccepted(const ResponseFacts &, const ResponseDecision &, const QByteArray &,
                                 const QByteArray &)
{
    return true;
}

qint64 HttpTransfer::firstRequestLast(qint64) const
{
    return -1;
}

qint64 HttpTransfer::bytesOnDisk() const
{
    return file_->size();
}

void HttpTransfer::dropFirstConnection()
{
    dropReadLater();
    quietAbort(ws_);
}

bool HttpTransfer::firstConnectionOpen() const
{
    return ws_ && ws_->state() == QAbstractSocket::ConnectedState;
}

void HttpTransfer::closeAllAndTell()
{
    dropSockets();
    closeTarget();
    report(TransferEvent::Kind::Removed);
}

void HttpTransfer::followRedirect(const QString &location)
{
    const QString target = resolveLocation(job_.url, location);
    dropSockets();
    closeTarget();
    if (++redirects_ > kMaxRedirects) {
        stop(say(Message::Id::TooManyRedirects, {job_.url, target}));
        return;
    }
    const bool toFtp = target.startsWith(u"ftp://"_s);
    if (!target.startsWith(u"http://"_s) && !isSecure(target) && !toFtp) {
        stop(say(Message::Id::MovedToUndownloadable, {job_.url, target}));
        return;
    }
    // Never a box here: this runs on a worker thread.
    const QString host = hostOf(target).value_or(QString());
    if (!hostIsSafe(host)) {
        stop(say(Message::Id::RedirectedToBadAddress, {job_.url}));
        return;
    }
    // Told only now: a redirect that is refused above reconnects nowhere.
    // An https server that proved itself may send the download to a plain
    // address (http or ftp): followed, and the log says so, before the
    // redirect itself, after which an ftp hop's table hears no more of this
    // transfer.
    if (isSecure(job_.url) && !isSecure(target))
        report(TransferEvent::Kind::Note, say(Message::Id::UnencryptedRedirect, {job_.url, target}));
    report(TransferEvent::Kind::Redirected, say(Message::Id::Redirected, {job_.url, target}));
    // The table puts an FTP client in this one's place for an ftp address;
    // FTP has no redirects, so that hop ends the chain.
    if (toFtp)
        return;
    job_.url = target;
    job_.host = host;
    job_.port = GetPort(target);
    job_.path = GetPath(target);
    start();
}

// Seen inside the TLS layer's own read: only noted here, acted on once the
// socket has reported the end to us.
void HttpTransfer::onAlert(QSsl::AlertType type)
{
    if (type == QSsl::AlertType::CloseNotify)
        closeNotified_ = true;
}

// A server may send close_notify and keep the TCP connection open until the
// client answers: the body ends here, not at a close that may never come.
void HttpTransfer::tlsClosed(int connection)
{
    if (connection != connection_ || !file_ || ws_->state() != QAbstractSocket::ConnectedState)
        return;
    dropReadLater();
    if (!drain(true) || !file_)
        return;
    quietAbort(ws_);
    finishOrLose();
}

void HttpTransfer::onDisconnected()
{
    // Bytes still buffered belong to the body; a redirect among them has
    // started another connection, which this close does not end.
    dropReadLater();
    if (drain(true))
        connectionEnded();
}

void HttpTransfer::finishOrLose()
{
    TransferEnd end;
    end.onDisk = job_.position > 0 ? job_.position - 1 : 0;
    end.size = job_.size;
    end.headerComplete = response_.state() == HttpResponseParser::State::Complete;
    end.chunked = chunked_;
    end.lastChunkSeen = bodyComplete_;
    end.tailUnproven = proofLeft_ > 0;
    end.cutWithoutTlsEnd = secure_ && !closeNotified_;
    if (transferComplete(end))
        finish();
    else
        lose(say(Message::Id::ConnectionLost, {job_.url}));
}

void HttpTransfer::onError()
{
    // The peer's orderly close arrives as disconnected(), handled there;
    // a TLS close_notify may come without it.
    if (ws_->error() == QAbstractSocket::RemoteHostClosedError) {
        if (closeNotified_)
            QMetaObject::invokeMethod(
                this, [this, connection = connection_] { tlsClosed(connection); }, Qt::QueuedConnection);
        return;
    }
    if (!refuseCertificate())
        lose(say(Message::Id::SocketError, {ws_->errorString()}));
}
