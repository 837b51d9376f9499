// The HTTP client of the active table, and the body path it shares with the
// FTP data connection.
#include "engine/activas.h"

#include "engine/quiet_abort.h"
#include "engine/completion.h"
#include "engine/figures.h"
#include "engine/http_decision.h"
#include "engine/queue_hooks.h"
#include "engine/url.h"
#include "log/log_append.h"
#include "log/notices.h"
#include "platform/interval_timer.h"
#include "platform/shell.h"
#include "rows/download.h"
#include "settings/cfg.h"

#include <QLabel>
#include <QTcpSocket>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {
constexpr int kMaxRedirects = 10;


// The path goes out as stored, but a blank or a control character would
// break the request line (or smuggle in a header), so those are escaped.
QByteArray requestTarget(const QString &tag)
{
    const QByteArray raw = tag.toUtf8();
    QByteArray out;
    out.reserve(raw.size());
    for (char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b == 0x7F)
            out += '%' + QByteArray::number(b, 16).toUpper().rightJustified(2, '0');
        else
            out += c;
    }
    return out;
}

QString resolveLocation(const QString &current, const QString &location)
{
    if (location.startsWith(u"http://"_s) || location.startsWith(u"https://"_s) ||
        location.startsWith(u"ftp://"_s))
        return location;
    return QUrl(current).resolved(QUrl(location)).toString();
}
} // namespace

void activas::connectWs(int i)
{
    Slot &s = slots_[i];
    quietAbort(s.ws);
    s.response.reset();
    s.chunks.reset();
    s.chunked = false;
    s.bodyComplete = false;
    s.ws->connectToHost(s.wsHost, s.wsPort);
}

bool activas::openTarget(int i)
{
    Slot &s = slots_[i];
    if (s.file && s.file->isOpen())
        return true;
    s.file = std::make_unique<QFile>(s.e.file);
    // Unbuffered: a write error (disk full) shows at once, not at close.
    if (!s.file->open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        fileFailed(i, s.file->errorString());
        return false;
    }
    return true;
}

void activas::closeTarget(int i)
{
    Slot &s = slots_[i];
    if (s.file) {
        s.file->close();
        s.file.reset();
    }
}

void activas::fileFailed(int i, const QString &what)
{
    Slot &s = slots_[i];
    const QString text = u"No se ha podido escribir en "_s + s.e.file + u": "_s + what;
    emit statusText(3, text);
    appendLog(u"\r\n"_s + text, 0x0000FF);
    dropConnections(i);
    s.e.speed = 0;
    if (s.redo)
        s.redo->setInterval(0);
    if (s.indicador)
        s.indicador->setRedoend(true);
}

void activas::wsConnected(int i)
{
    Slot &s = slots_[i];
    if (s.e.ftpstate != FtpStep::None)
        return;
    if (s.e.position == 0)
        s.e.position = 1;
    if (!openTarget(i))
        return;
    const qint64 length = s.file->size();
    if (length != s.e.position)
        s.e.position = length + 1;

    s.requestedFrom = s.e.position - 1;
    s.proofLeft = 0;
    if (length > 0 && !s.ownBytes) {
        // Bytes this download did not write itself are proven before anything
        // is appended to them: the tail is asked for again and compared.
        s.requestedFrom = length < kTailProof ? 0 : length - kTailProof;
    }
    if (!hostIsSafe(s.wsHost)) {
        stopWithError(i, u"Dirección incorrecta: "_s + s.e.url);
        return;
    }
    QByteArray host = s.wsHost.toUtf8();
    if (s.wsPort != 80)
        host += ':' + QByteArray::number(s.wsPort);
    const QByteArray crlf = crlf_;
    const QByteArray request = "GET /" + requestTarget(s.wsTag) + " HTTP/1.1" + crlf + "User-Agent: Tandrel" +
                               crlf + "Host: " + host + crlf + "Connection: close" + crlf +
                               "Range: bytes=" + QByteArray::number(s.requestedFrom) + "-" + crlf + crlf;
    s.ws->write(request);

    // Where the body goes is decided by the reply (206 from this offset, or the whole file).
    s.e.positionAtConnect = s.e.position;
    if (s.indicador)
        s.indicador->setReconectando(false);
    s.e.elapsedAtConnect = s.e.elapsed;
}

void activas::wsReadyRead(int i)
{
    Slot &s = slots_[i];
    if (!s.ws)
        return;
    const QByteArray received = s.ws->readAll();
    if (received.isEmpty())
        return;
    s.idle = 0;

    if (s.e.ftpstate != FtpStep::None) {
        writeBody(i, received);
    } else {
        QByteArray body;
        const auto before = s.response.state();
        const auto state = s.response.feed(received, &body);
        if (state == HttpResponseParser::State::Incomplete)
            return;
        if (state == HttpResponseParser::State::Bad) {
            loseConnection(i, u"Respuesta incorrecta del servidor "_s + s.wsHost + u"."_s);
            return;
        }
        if (before == HttpResponseParser::State::Incomplete && state == HttpResponseParser::State::Complete) {
            if (!handleResponseHeader(i))
                return;
        }
        if (s.chunked) {
            QByteArray decoded;
            const auto chunkState = s.chunks.feed(body, &decoded);
            if (chunkState == ChunkedDecoder::State::Bad) {
                loseConnection(i, u"Respuesta incorrecta del servidor "_s + s.wsHost + u"."_s);
                return;
            }
            s.bodyComplete = chunkState == ChunkedDecoder::State::Done;
            body = decoded;
        }
        writeBody(i, body);
    }
    if (!s.file || !s.e.used)
        return;
    const qint64 onDisk = s.e.position - 1;
    if (s.proofLeft == 0 && ((s.e.size > 0 && onDisk >= s.e.size) || s.bodyComplete)) {
        quietAbort(s.ws);
        finishOrLose(i);
    }
}

// Acts on a complete response header; false when the handler ends here.
bool activas::handleResponseHeader(int i)
{
    Slot &s = slots_[i];
    ResponseFacts facts;
    facts.status = s.response.status();
    facts.statusLine = s.response.statusLine();
    facts.contentLength = s.response.contentLength();
    facts.chunked = s.response.chunked();
    qint64 last = 0;
    facts.ranged = s.response.contentRange(&facts.rangeFirst, &last, &facts.rangeTotal);
    facts.location = s.response.header("Location");
    facts.requestedFrom = s.requestedFrom;
    facts.onDisk = s.file ? s.file->size() : 0;
    facts.knownSize = s.e.size;
    facts.url = s.e.url;
    facts.host = s.wsHost;
    const ResponseDecision decision = decideResponse(facts);

    if (decision.kind != ResponseDecision::Kind::Redirect)
        s.redirects = 0;
    switch (decision.kind) {
    case ResponseDecision::Kind::Redirect:
        followRedirect(i, QString::fromUtf8(decision.location));
        return false;
    case ResponseDecision::Kind::Retry:
        loseConnection(i, u"Respuesta incorrecta del servidor "_s + s.wsHost + u"."_s);
        return false;
    case ResponseDecision::Kind::Stop:
        s.sizeChanged = decision.sizeChanged;
        if (decision.sizeChanged)
            appendLog(u"\r\n"_s + decision.notice, 0x0000FF);
        stopWithError(i, decision.notice);
        return false;
    case ResponseDecision::Kind::Remove:
        PlayNoticeSound(msgFile(u"ding.wav"_s));
        ShowNotice(u"El archivo "_s + s.e.url + u" no existe."_s, msgFile(u"error.gif"_s));
        closeTarget(i);
        QFile::remove(s.e.file);
        removeDownload(i);
        return false;
    case ResponseDecision::Kind::Finished:
        s.e.size = decision.size;
        s.e.position = decision.size + 1;
        quietAbort(s.ws);
        finishOrLose(i);
        return false;
    case ResponseDecision::Kind::RestartFromStart:
        restartFromStart(i, u"Los datos de "_s + s.e.file + u" no forman parte de "_s + s.e.url +
                                u": se descarga de nuevo desde el principio."_s);
        return false;
    case ResponseDecision::Kind::Write:
        break;
    }

    s.chunked = facts.chunked;
    s.e.resumable = decision.resumable;
    s.e.size = decision.size;
    if (decision.writeFrom == 0) {
        // The whole file: nothing of what was on disk may stay.
        s.file->resize(0);
        s.ownBytes = true;
    } else if (!s.ownBytes && decision.writeFrom < facts.onDisk) {
        s.proofLeft = facts.onDisk - decision.writeFrom;
        s.proofAt = decision.writeFrom;
    }
    s.file->seek(decision.writeFrom + s.proofLeft);
    s.e.position = decision.writeFrom + s.proofLeft + 1;
    s.e.positionAtConnect = s.e.position;
    return true;
}

void activas::followRedirect(int i, const QString &location)
{
    Slot &s = slots_[i];
    const QString target = resolveLocation(s.e.url, location);
    emit statusText(3, u"El archivo "_s + s.e.url + u" ha sido movido a "_s + target +
                           u".Se reconectará a esa dirección"_s);
    closeTarget(i);
    quietAbort(s.ws);
    if (++s.redirects > kMaxRedirects) {
        stopWithError(i, u"Demasiadas redirecciones seguidas: "_s + s.e.url + u" vuelve a redirigir a "_s + target +
                             u"."_s);
        return;
    }
    if (!target.startsWith(u"http://"_s)) {
        stopWithError(i, u"El archivo "_s + s.e.url + u" ha sido movido a "_s + target +
                             u", una dirección que no se puede descargar."_s);
        return;
    }
    const QString host = GetHost(target);
    if (!hostIsSafe(host)) {
        stopWithError(i, u"El servidor ha redirigido "_s + s.e.url + u" a una dirección incorrecta."_s);
        return;
    }
    if (s.indicador)
        s.indicador->setReconectando(true);
    s.e.url = target;
    s.wsHost = host;
    s.wsPort = GetPort(target);
    s.wsTag = GetPath(target);
    connectWs(i);
}

// The bytes on disk do not belong to the server's file: fetch it again from
// its first byte, at once and without spending a retry.
void activas::restartFromStart(int i, const QString &why)
{
    Slot &s = slots_[i];
    appendLog(u"\r\n"_s + why, 0x0000FF);
    emit statusText(3, why);
    quietAbort(s.ws);
    if (openTarget(i))
        s.file->resize(0);
    closeTarget(i);
    s.ownBytes = true;
    s.proofLeft = 0;
    s.e.position = 1;
    if (s.e.url.startsWith(u"ftp://"_s))
        connectFtp(i);
    else
        connectWs(i);
}

void activas::stopWithError(int i, const QString &notice)
{
    Slot &s = slots_[i];
    PlayNoticeSound(msgFile(u"ding.wav"_s));
    ShowNotice(notice, msgFile(u"error.gif"_s));
    dropConnections(i);
    if (s.indicador)
        s.indicador->setRedoend(true);
}

void activas::writeBody(int i, const QByteArray &body)
{
    Slot &s = slots_[i];
    if (!s.file || !s.file->isOpen() || body.isEmpty())
        return;
    QByteArrayView bytes(body);
    if (s.proofLeft > 0) {
        bytes = proveTail(i, bytes);
        if (s.proofLeft > 0 || bytes.isEmpty() || !s.file)
            return;
    }
    // Never write past the announced end.
    if (s.e.size > 0) {
        const qint64 room = s.e.size - s.file->pos();
        if (room <= 0)
            return;
        if (bytes.size() > room)
            bytes.truncate(room);
    }
    if (s.file->write(bytes.data(), bytes.size()) != bytes.size()) {
        fileFailed(i, s.file->errorString());
        return;
    }
    s.e.position = s.file->pos() + 1;
    s.idle = 0;
    showProgress(i);
}

// Compares arriving bytes with the file's tail; returns what is left of
// them once the tail is proven. A mismatch starts the file again.
QByteArrayView activas::proveTail(int i, QByteArrayView bytes)
{
    Slot &s = slots_[i];
    const qint64 take = qMin<qint64>(s.proofLeft, bytes.size());
    const qint64 resume = s.file->pos();
    s.file->seek(s.proofAt);
    const QByteArray onDisk = s.file->read(take);
    s.file->seek(resume);
    if (onDisk != bytes.first(take)) {
        restartFromStart(i, u"Los datos de "_s + s.e.file + u" no coinciden con "_s + s.e.url +
                                u": se descarga de nuevo desde el principio."_s);
        return {};
    }
    s.proofAt += take;
    s.proofLeft -= take;
    s.idle = 0;
    if (s.proofLeft == 0)
        s.ownBytes = true;
    return bytes.sliced(take);
}

void activas::showProgress(int i)
{
    Slot &s = slots_[i];
    if (!s.indicador)
        return;
    s.indicador->setBytes(bytesText(s.e.position));
    if (s.e.size > 0) {
        const double percent = roundHalfEven(double(s.e.position) / double(s.e.size) * 100.0, 2);
        s.indicador->setPorcentaje(int(roundHalfEven(percent)));
        if (i == selected_)
            porcientot_->setText(numberText(percent) + u"%"_s);
    }
    if (i == selected_)
        bytest_->setText(QString::number(s.e.position - 1) + u"/"_s + QString::number(s.e.size));
}

void activas::wsDisconnected(int i)
{
    Slot &s = slots_[i];
    if (!s.e.used || !s.ws)
        return;
    // Bytes still buffered belong to the body.
    if (s.ws->bytesAvailable() > 0)
        wsReadyRead(i);
    if (!s.e.used || !s.file)
        return;
    if (s.e.url.startsWith(u"ftp://"_s) && s.e.size == 0 && s.e.ftpstate != FtpStep::Done) {
        // Without a size only the server's word on the control connection
        // (226, or an error) tells a whole file from a cut one.
        s.dataClosed = true;
        return;
    }
    finishOrLose(i);
}

void activas::finishOrLose(int i)
{
    Slot &s = slots_[i];
    s.e.speed = 0;
    TransferEnd end;
    end.onDisk = s.e.position > 0 ? s.e.position - 1 : 0;
    end.size = s.e.size;
    end.http = !s.e.url.startsWith(u"ftp://"_s);
    end.tailUnproven = s.proofLeft > 0;
    end.ftpConfirmed = s.e.ftpstate == FtpStep::Done;
    end.headerComplete = s.response.state() != HttpResponseParser::State::Incomplete;
    end.chunked = s.chunked;
    end.lastChunkSeen = s.bodyComplete;
    if (!transferComplete(end)) {
        loseConnection(i, lostConnectionText(s.e.url));
        return;
    }
    finishDownload(i);
}

void activas::finishDownload(int i)
{
    Slot &s = slots_[i];
    s.indicador->DownloadEnd();
    s.indicador->setFinalizado(true);
    s.indicador->setPorcentaje(100);
    emit statusText(3, u"Finalizada la descarga de "_s + s.e.url);
    PlayNoticeSound(msgFile(u"notify.wav"_s));
    dropConnections(i);
    appendLog(u"\r\nLa descarga de "_s + s.e.url + u" a "_s + s.e.file + u" ha finalizado tras "_s +
                  QString::number(s.e.elapsed) + u" segundos."_s,
              0);

    const cfg *settings = cfg::instance();
    if (settings && settings->showmsg()) {
        PlayNoticeSound(msgFile(u"notify.wav"_s));
        ShowNotice(u"Se ha terminado la descarga de "_s + s.e.url, msgFile(u"download.gif"_s));
    }
    emit finishedFile(s.e.file);
    if (settings && settings->exevirus() && !settings->virus().isEmpty()) {
        for (const QString &extension : settings->ext())
            if (!extension.isEmpty() && s.e.file.endsWith(extension))
                platform::shell().start(settings->virus(), {s.e.file});
    }
    if (settings && settings->dellista())
        removeDownload(i);
    // The finished download no longer belongs in the list a restart reads.
    guardar_lista_activas();
    if (settings && settings->autocont() && queue_ && queue_->loadedRows() > 1)
        queue_->toactivas();
}

// The connection is given up for now; the retry timer will try again.
void activas::loseConnection(int i, const QString &status)
{
    Slot &s = slots_[i];
    emit statusText(3, status);
    if (s.indicador)
        s.indicador->setReconectando(true);
    dropConnections(i);
    armRetry(i);
}

// Both connections end and the file is closed: a download that gave up,
// finished or stopped reads nothing more from its server.
void activas::dropConnections(int i)
{
    Slot &s = slots_[i];
    quietAbort(s.ws);
    quietAbort(s.ftp);
    closeTarget(i);
    s.proofLeft = 0;
    s.dataClosed = false;
    setFtpStep(i, FtpStep::None);
}

void activas::wsError(int i)
{
    Slot &s = slots_[i];
    if (!s.ws || !s.e.used)
        return;
    // The peer's orderly close arrives as disconnected(), handled there.
    if (s.ws->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    emit statusText(3, s.ws->errorString());
    dropConnections(i);
    armRetry(i);
}
