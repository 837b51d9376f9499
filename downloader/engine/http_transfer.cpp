// The HTTP client of the active table, and the body path it shares with the
// FTP data connection.
#include "engine/activas.h"

#include "engine/quiet_abort.h"
#include "engine/completion.h"
#include "engine/figures.h"
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

QString lostText(const QString &url)
{
    return u"Se ha perdido la conexión con "_s + url + u" . Reconectando..."_s;
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
    quietAbort(s.ws);
    quietAbort(s.ftp);
    s.e.ftpstate.clear();
    s.file.reset();
    s.e.speed = 0;
    if (s.redo)
        s.redo->setInterval(0);
    if (s.indicador)
        s.indicador->setRedoend(true);
}

void activas::wsConnected(int i)
{
    Slot &s = slots_[i];
    if (!s.e.ftpstate.isEmpty())
        return;
    if (s.e.position == 0)
        s.e.position = 1;
    if (!openTarget(i))
        return;
    const qint64 length = s.file->size();
    if (length != s.e.position)
        s.e.position = length + 1;

    s.requestedFrom = s.e.position - 1;
    QByteArray host = s.wsHost.toUtf8();
    if (s.wsPort != 80)
        host += ':' + QByteArray::number(s.wsPort);
    const QByteArray crlf = crlf_;
    const QByteArray request = "GET /" + requestTarget(s.wsTag) + " HTTP/1.1" + crlf + "User-Agent: Tandrel" +
                               crlf + "Host: " + host + crlf + "Connection: close" + crlf +
                               "Range: bytes=" + QByteArray::number(s.requestedFrom) + "-" + crlf + crlf;
    s.ws->write(request);

    // Where the body goes is decided by the reply (206 from this offset, or the whole file).
    s.file->seek(s.requestedFrom);
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

    if (!s.e.ftpstate.isEmpty()) {
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
    if ((s.e.size > 0 && onDisk >= s.e.size) || s.bodyComplete) {
        quietAbort(s.ws);
        finishOrLose(i);
    }
}

// Acts on a complete response header; false when the handler ends here.
bool activas::handleResponseHeader(int i)
{
    Slot &s = slots_[i];
    const int status = s.response.status();
    const qint64 length = s.response.contentLength();

    if (status >= 300 && status < 400 && status != 300 && status != 304 && status != 305) {
        const QByteArray location = s.response.header("Location");
        if (location.isNull()) {
            // Nowhere to go: treat it as a lost connection and try again later.
            loseConnection(i, lostText(s.e.url));
            return false;
        }
        const QString target = resolveLocation(s.e.url, QString::fromUtf8(location));
        emit statusText(3, u"El archivo "_s + s.e.url + u" ha sido movido a "_s + target +
                               u".Se reconectará a esa dirección"_s);
        closeTarget(i);
        quietAbort(s.ws);
        if (++s.redirects > kMaxRedirects) {
            stopWithError(i, u"Demasiadas redirecciones seguidas: "_s + s.e.url + u" vuelve a redirigir a "_s +
                                 target + u"."_s);
            return false;
        }
        if (!target.startsWith(u"http://"_s)) {
            stopWithError(i, u"El archivo "_s + s.e.url + u" ha sido movido a "_s + target +
                                 u", una dirección que no se puede descargar."_s);
            return false;
        }
        if (s.indicador)
            s.indicador->setReconectando(true);
        s.e.url = target;
        s.wsHost = GetHost(target);
        s.wsPort = GetPort(target);
        s.wsTag = GetPath(target);
        connectWs(i);
        return false;
    }
    s.redirects = 0;

    switch (status) {
    case 400:
        stopWithError(i, u"Error de sintaxis en la petición"_s);
        return false;
    case 401:
    case 403:
        stopWithError(i, u"Acceso denegado al archivo"_s);
        return false;
    case 404: {
        PlayNoticeSound(msgFile(u"ding.wav"_s));
        ShowNotice(u"El archivo "_s + s.e.url + u" no existe."_s, msgFile(u"error.gif"_s));
        closeTarget(i);
        QFile::remove(s.e.file);
        removeDownload(i);
        return false;
    }
    case 416: {
        qint64 first = 0, last = 0, total = -1;
        if (!s.response.contentRange(&first, &last, &total))
            total = s.e.size > 0 ? s.e.size : -1;
        // Only a file of exactly the announced size is this download, whole.
        if (total >= 0 && s.file->size() == total) {
            s.e.size = total;
            s.e.position = total + 1;
            quietAbort(s.ws);
            finishOrLose(i);
        } else {
            restartFromStart(i);
        }
        return false;
    }
    case 500:
        stopWithError(i, u"Error interno del servidor "_s + s.wsHost + u"."_s);
        return false;
    case 502:
    case 503:
    case 504:
        loseConnection(i, lostText(s.e.url));
        return false;
    default:
        break;
    }
    if (status >= 300) {
        // An error page is never saved as the file.
        stopWithError(i, QString::fromLatin1(s.response.statusLine()));
        return false;
    }

    s.chunked = s.response.chunked();
    if (status == 206) {
        qint64 first = 0, last = 0, total = -1;
        const bool ranged = s.response.contentRange(&first, &last, &total);
        if (!ranged || first != s.requestedFrom) {
            restartFromStart(i);
            return false;
        }
        s.e.resumable = true;
        if (total >= 0)
            s.e.size = total;
        else if (length >= 0)
            s.e.size = length + s.requestedFrom;
        return true;
    }

    // Any other success carries the whole file: rewrite it from its first byte.
    s.e.resumable = false;
    s.file->resize(0);
    s.file->seek(0);
    s.e.position = 1;
    s.e.positionAtConnect = 1;
    s.requestedFrom = 0;
    s.e.size = s.chunked || length < 0 ? 0 : length;
    return true;
}

// The bytes on disk do not fit what the server has: fetch the file again from
// its first byte. A server that refuses even that is retried within the budget.
void activas::restartFromStart(int i)
{
    Slot &s = slots_[i];
    if (s.requestedFrom == 0) {
        loseConnection(i, u"Respuesta incorrecta del servidor "_s + s.wsHost + u"."_s);
        return;
    }
    if (s.file) {
        s.file->resize(0);
        closeTarget(i);
    }
    s.e.position = 1;
    s.e.size = 0;
    connectWs(i);
}

void activas::stopWithError(int i, const QString &notice)
{
    Slot &s = slots_[i];
    PlayNoticeSound(msgFile(u"ding.wav"_s));
    ShowNotice(notice, msgFile(u"error.gif"_s));
    closeTarget(i);
    quietAbort(s.ws);
    if (s.indicador)
        s.indicador->setRedoend(true);
}

void activas::writeBody(int i, const QByteArray &body)
{
    Slot &s = slots_[i];
    if (!s.file || !s.file->isOpen() || body.isEmpty())
        return;
    QByteArray bytes = body;
    // Never write past the announced end.
    if (s.e.size > 0) {
        const qint64 room = s.e.size - s.file->pos();
        if (room <= 0)
            return;
        if (bytes.size() > room)
            bytes.truncate(room);
    }
    if (s.file->write(bytes) != bytes.size()) {
        fileFailed(i, s.file->errorString());
        return;
    }
    s.e.position = s.file->pos() + 1;
    s.idle = 0;
    showProgress(i);
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
    finishOrLose(i);
}

void activas::finishOrLose(int i)
{
    Slot &s = slots_[i];
    s.e.speed = 0;
    TransferEnd end;
    end.onDisk = s.e.position > 0 ? s.e.position - 1 : 0;
    end.size = s.e.size;
    end.http = s.e.ftpstate.isEmpty();
    end.headerComplete = s.response.state() != HttpResponseParser::State::Incomplete;
    end.chunked = s.chunked;
    end.lastChunkSeen = s.bodyComplete;
    if (!transferComplete(end)) {
        loseConnection(i, lostText(s.e.url));
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
    quietAbort(s.ws);
    closeTarget(i);
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
    quietAbort(s.ws);
    closeTarget(i);
    armRetry(i);
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
    quietAbort(s.ws);
    closeTarget(i);
    armRetry(i);
}
