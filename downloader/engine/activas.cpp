#include "engine/activas.h"

#include "engine/ftp_transfer.h"
#include "engine/http_transfer.h"
#include "engine/queue_hooks.h"
#include "engine/schemes.h"
#include "engine/setting_or.h"
#include "engine/target_path.h"
#include "engine/transfer_threads.h"
#include "engine/url.h"
#include "log/log_append.h"
#include "platform/actions.h"
#include "platform/file_writer.h"
#include "platform/interval_timer.h"
#include "platform/prompts.h"
#include "rows/download.h"
#include "settings/cfg.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>

#include <stdexcept>

using namespace Qt::StringLiterals;

activas::activas(QWidget *parent) : QWidget(parent)
{
    setObjectName(u"activas"_s);
    setWindowTitle(u"Descargas activas"_s);
    setAcceptDrops(true);
    buildLayout();

    update_ = new QTimer(this);
    update_->setInterval(1000);
    connect(update_, &QTimer::timeout, this, &activas::updateTick);
    update_->start();
    tiempotrans_ = new QTimer(this);
    tiempotrans_->setInterval(1000);
    connect(tiempotrans_, &QTimer::timeout, this, &activas::tiempotransTick);
    tiempotrans_->start();
    // A selected row that ends or runs out of retries gets its buttons within a second.
    connect(update_, &QTimer::timeout, this, &activas::updateCommands);
    shutdown_ = new QTimer(this);
    shutdown_->setInterval(2000);
    connect(shutdown_, &QTimer::timeout, this, &activas::shutdownTick);
    shutdown_->start();
    // With finished rows removed from the list, an empty table can mean "all done".
    connect(this, &activas::finishedFile, this, [this] {
        if (shutdownPressed())
            finishedWhilePressed_ = true;
    });
}

activas::~activas()
{
    for (int i = 1; i < kSlots; ++i)
        if (slots_[i].loaded())
            unloadSlot(i);
}

int activas::checked(int slot)
{
    if (slot < 0 || slot >= kSlots)
        throw std::out_of_range("download slot out of range");
    return slot;
}

download *activas::indicador(int slot) const
{
    return slot >= 0 && slot < kSlots ? slots_[slot].indicador : nullptr;
}

int activas::loadedRows() const
{
    int n = 0;
    for (const Slot &s : slots_)
        n += s.loaded();
    return n;
}

int activas::highestLoaded() const
{
    for (int i = kSlots - 1; i > 0; --i)
        if (slots_[i].loaded())
            return i;
    return 0;
}

bool activas::existe(int slot) const
{
    if (slot < 0 || slot >= kSlots)
        return false;
    return slots_[slot].e.used;
}

void activas::createSlotObjects(int i)
{
    Slot &s = slots_[i];
    s.indicador = new download(frame_);
    s.indicador->setObjectName(u"indicador%1"_s.arg(i));
    connect(s.indicador, &download::Click, this, [this, i] { selectRow(i); });
    connect(s.indicador, &download::DblClick, this, [this, i] { showDetails(i); });
    connect(s.indicador, &download::MouseUp, this, [this, i](int button) { onRowMouseUp(i, button); });

    s.redo = new platform::IntervalTimer(this);
    connect(s.redo, &platform::IntervalTimer::timeout, this, [this, i] { redoTick(i); });
}

// The transfer runs on a worker thread; what it tells arrives here queued,
// with the attempt it belongs to.
void activas::createTransfer(int i, const QString &host, quint16 port, const QString &path)
{
    Slot &s = slots_[i];
    TransferJob job;
    job.url = s.e.url;
    job.file = s.e.file;
    job.size = s.e.size;
    job.position = s.e.position;
    job.resumable = s.e.resumable;
    job.host = host;
    job.port = port;
    job.path = path;
    job.ftpuser = s.e.ftpuser;
    job.ftppass = s.e.ftppass;
    if (s.e.url.startsWith(u"http://"_s) || s.e.url.startsWith(u"https://"_s))
        s.transfer = new HttpTransfer(job);
    else if (s.e.url.startsWith(u"ftp://"_s))
        s.transfer = new FtpTransfer(job);
    else
        return;
    if (!threads_)
        threads_ = std::make_unique<TransferThreads>(TransferThreads::defaultCount());
    s.transfer->moveToThread(threads_->next());

    Transfer *t = s.transfer;
    connect(t, &Transfer::connectedTo, this, [this, i](int a) {
        if (current(i, a))
            onConnected(i);
    });
    connect(t, &Transfer::progress, this, [this, i](int a, const TransferFigures &f) {
        if (!current(i, a))
            return;
        mirror(i, f);
        showProgress(i);
    });
    connect(t, &Transfer::redirected, this, [this, i](int a, const QString &from, const QString &to) {
        if (!current(i, a))
            return;
        emit statusText(3,
                        u"El archivo "_s + from + u" ha sido movido a "_s + to + u".Se reconectará a esa dirección"_s);
        slots_[i].indicador->setReconectando(true);
    });
    connect(t, &Transfer::finished, this, [this, i](int a, const TransferFigures &f) {
        if (current(i, a))
            onFinished(i, f);
    });
    connect(t, &Transfer::lost, this, [this, i](int a, const QString &status, const TransferFigures &f) {
        if (current(i, a))
            onLost(i, status, f);
    });
    connect(t, &Transfer::stopped, this,
            [this, i](int a, const QString &notice, bool sizeChanged, const TransferFigures &f) {
                if (current(i, a))
                    onStopped(i, notice, sizeChanged, f);
            });
    connect(t, &Transfer::removed, this, [this, i](int a) {
        if (current(i, a))
            onRemoved(i);
    });
    connect(t, &Transfer::fileFailed, this, [this, i](int a, const QString &text) {
        if (current(i, a))
            onFileFailed(i, text);
    });
    connect(t, &Transfer::loginRefused, this, [this, i](int a) {
        if (current(i, a))
            onLoginRefused(i);
    });
    connect(t, &Transfer::logLine, this, [this, i](int a, const QString &text) {
        if (current(i, a))
            appendLog(crlf_ + text, 0x0000FF);
    });
    connect(t, &Transfer::noteLine, this, [this, i](int a, const QString &text) {
        if (current(i, a))
            appendLog(crlf_ + text, 0);
    });
    connect(t, &Transfer::statusText, this, [this, i](int a, const QString &text) {
        if (current(i, a))
            emit statusText(3, text);
    });
}

// The row, the timer and the transfer go together. They may be unloaded from
// inside one of their own signals, so they are disconnected at once and
// deleted later; the transfer closes its file as it goes.
void activas::unloadSlot(int i, bool deleteFile)
{
    Slot &s = slots_[i];
    if (s.transfer) {
        Transfer *t = s.transfer;
        t->disconnect(this);
        if (deleteFile) {
            // The file is deleted where it is open, once closed; the window
            // goes on meanwhile and lets nobody write it until then.
            const QString key = sameFileKey(s.e.file);
            deleting_.insert(key);
            connect(t, &Transfer::fileDeleted, this, [this, key] { deleting_.remove(key); });
        }
        closeTransfer(i, deleteFile);
        t->deleteLater();
    } else if (deleteFile) {
        QFile::remove(s.e.file);
    }
    if (s.redo) {
        s.redo->disconnect(this);
        s.redo->setInterval(0);
        s.redo->deleteLater();
    }
    if (s.indicador) {
        s.indicador->disconnect(this);
        s.indicador->hide();
        s.indicador->deleteLater();
    }
    s.transfer = nullptr;
    s.redo = nullptr;
    s.indicador = nullptr;
    if (askingLogin_ == i)
        askingLogin_ = 0;
}

void activas::removeDownload(int i, bool deleteFile)
{
    unloadSlot(i, deleteFile);
    slots_[i].e.used = false;
    if (selected_ == i)
        clearSelection();
    reordenar_indicador();
}

void activas::delfile(int i, bool deleteFile)
{
    if (!existe(i))
        return;
    // A download leaving unfinished (cancelled, paused) is not "all done":
    // only a finish after this one may switch the computer off.
    if (!slots_[i].indicador || !slots_[i].indicador->finalizado())
        finishedWhilePressed_ = false;
    unloadSlot(i, deleteFile);
    slots_[i].e.used = false;
    if (selected_ == i)
        clearSelection();
    reordenar_indicador();
    saveListLater();
}

bool activas::addnew(const QString &url, const QString &file, qint64 size, qint64 position, bool resumable,
                     qint32 elapsed, bool nosave, const QString &ftpuser, const QString &ftppass, bool remember)
{
    // Two downloads writing one file would leave a file that is neither.
    if (targetTaken(file)) {
        platform::prompts().message(targetTakenText(file), platform::Icon::Critical);
        return false;
    }
    QList<bool> loaded;
    for (const Slot &s : slots_)
        loaded << s.loaded();
    loaded[0] = true;
    const int i = actions::FreeIndex(loaded);
    if (i < 1 || i >= kSlots) {
        platform::prompts().message(u"No se ha podido agregar el archivo:"_s + crlf_
                                        + u"No quedan huecos libres en la tabla de descargas activas."_s,
                                    platform::Icon::Critical);
        return false;
    }

    createSlotObjects(i);
    Slot &s = slots_[i];
    s.indicador->setArchivo(file);
    s.e.file = file;
    s.indicador->setUrl(url);
    s.indicador->show();

    s.e.url = url;
    s.e.position = position;
    s.e.size = size;
    s.e.elapsed = elapsed;
    s.e.elapsedAtConnect = elapsed;
    s.e.positionAtConnect = position;
    s.e.ftpuser = ftpuser;
    s.e.ftppass = ftppass;
    s.e.remember = remember;
    s.e.resumable = resumable;
    s.e.speed = 0;
    s.idle = 0;
    s.received = 0;
    s.sizeChanged = false;
    s.askingLogin = false;
    ++s.generation;

    s.retriesLeft = settingOr(&cfg::vecesv, 5);

    // Both connections take the host; a bad address is told once for each.
    const quint16 port = GetPort(url);
    const QString host = GetHost(url);
    GetHost(url);
    if (host == u"ERROR"_s) {
        unloadSlot(i);
        return false;
    }
    createTransfer(i, host, port, GetPath(url));

    // A download whose every byte is already on disk is shown finished
    // instead of being fetched again.
    const bool complete = size > 0 && QFileInfo(file).size() == size;
    if (complete)
        s.e.position = size + 1;
    else
        startTransfer(i);

    s.indicador->setToolTip(u"Descargando "_s + url + u" a "_s + file);
    s.e.used = true;
    if (complete) {
        s.indicador->DownloadEnd();
        s.indicador->setPorcentaje(100);
        showProgress(i);
    } else {
        s.indicador->setReconectando(true);
    }
    reordenar_indicador();
    if (!nosave)
        guardar_lista_activas();
    return true;
}

bool activas::targetTaken(const QString &file) const
{
    const QString wanted = sameFileKey(file);
    if (deleting_.contains(wanted))
        return true;
    for (int i = 1; i < kSlots; ++i) {
        const Slot &s = slots_[i];
        if (s.e.used && i != handingOver_ && sameFileKey(s.e.file) == wanted)
            return true;
    }
    return queue_ && queue_->holdsTarget(file);
}

// The rows are packed by the list's layout; the details follow the selection.
void activas::reordenar_indicador()
{
    layoutList();
    if (selected_ > 0 && existe(selected_))
        fillDetails(selected_);
    else
        clearSelection();
}

bool activas::acceptsDrop(const QMimeData *data)
{
    return data && data->hasText() && isDownloadAddress(data->text().trimmed());
}

void activas::AgregarArrastrando(const QMimeData *dropped)
{
    if (!dropped || !dropped->hasText())
        return;
    const QString url = dropped->text().trimmed();
    // Told before the save dialog, not after it.
    if (!isDownloadAddress(url)) {
        platform::prompts().message(wrongAddressText(), platform::Icon::Critical);
        return;
    }
    const QString file = platform::prompts().saveFile(GetFileName(url), QString());
    QString ftpuser;
    QString ftppass;
    bool remember = false;
    if (url.startsWith(u"ftp://"_s))
        askDropLogin(ftpuser, ftppass, remember);
    if (file.isEmpty())
        return;

    if (settingOr(&cfg::maxdesc, 10) > loadedRows()) {
        addnew(url, file, 0, 0, false, 0, false, ftpuser, ftppass, remember);
    } else if (queue_ && queue_->loadedRows() < kSlots) {
        queue_->addnew(url, file, 0, 0, false, 0, false, ftpuser, ftppass, remember, false);
    } else {
        platform::prompts().message(u"Se ha alcanzado el máximo de descargas en cola."_s, platform::Icon::Critical);
    }
}

void activas::dragEnterEvent(QDragEnterEvent *event)
{
    if (acceptsDrop(event->mimeData()))
        event->acceptProposedAction();
}

void activas::dropEvent(QDropEvent *event)
{
    event->acceptProposedAction();
    AgregarArrastrando(event->mimeData());
}

void activas::closeEvent(QCloseEvent *event)
{
    guardar_lista_activas();
    event->accept();
}
