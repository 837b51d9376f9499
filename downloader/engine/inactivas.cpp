#include "engine/inactivas.h"

#include "core/figures.h"
#include "core/file_writer.h"
#include "core/target_path.h"
#include "engine/activas.h"
#include "engine/setting_or.h"
#include "log/log_append.h"
#include "platform/actions.h"
#include "platform/prompts.h"
#include "rows/download.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {
constexpr quint32 kContinuedColor = 0x00BB00; // RGB(0, 187, 0)
constexpr quint32 kCancelledColor = 0x000080; // RGB(128, 0, 0)
const QString kCrlf = u"\r\n"_s;
} // namespace

QString queueBytesText(qint64 position)
{
    if (position > 1048576)
        return numberText(double(position) / 1048576.0) + u" Mb"_s;
    if (position > 1024)
        return numberText(double(position) / 1024.0) + u" Kb"_s;
    return QString::number(position) + u" bytes"_s;
}

inactivas::inactivas(QWidget *parent) : QWidget(parent)
{
    setObjectName(u"inactivas"_s);
    setWindowTitle(u"Descargas inactivas"_s);
    setAcceptDrops(true);
    buildLayout();
    updateCommands();
}

inactivas::~inactivas()
{
    if (active_)
        active_->setQueue(nullptr);
}

void inactivas::setActive(activas *active)
{
    active_ = active;
    if (active) {
        active->setQueue(this);
        // Saves asked of a writer of our own before are finished when it goes.
        writer_ = active->listWriter();
    }
}

const DownloadEntry &inactivas::entry(int slot) const
{
    if (slot < 0 || slot >= kSlots)
        throw std::out_of_range("queue slot out of range");
    return slots_[slot].e;
}

download *inactivas::indicador(int slot) const
{
    return slot >= 0 && slot < kSlots ? slots_[slot].indicador : nullptr;
}

int inactivas::loadedRows() const
{
    int n = 0;
    for (const QueueSlot &s : slots_)
        n += s.indicador != nullptr;
    return n;
}

int inactivas::highestLoaded() const
{
    for (int i = kSlots - 1; i > 0; --i)
        if (slots_[i].indicador)
            return i;
    return 0;
}

bool inactivas::existe(int slot) const
{
    return slot > 0 && slot < kSlots && slots_[slot].e.used;
}

// The entry being handed over is already the active table's: it must not
// block its own arrival there.
bool inactivas::holdsTarget(const QString &file) const
{
    const QString wanted = sameFileKey(file);
    for (int i = 1; i < kSlots; ++i)
        if (i != moving_ && slots_[i].e.used && sameFileKey(slots_[i].e.file) == wanted)
            return true;
    return false;
}

bool inactivas::addnew(const QString &url, const QString &file, qint64 size, qint64 position, bool resumable,
                       qint32 elapsed, bool nosave, const QString &ftpuser, const QString &ftppass, bool remember,
                       bool locked)
{
    // The active table knows which of its rows a pause is handing over here;
    // any other download writing the same file, whatever its address, is refused.
    const bool taken = active_ ? active_->targetTaken(file) : holdsTarget(file);
    if (taken) {
        platform::prompts().message(targetTakenText(file), platform::Icon::Critical);
        return false;
    }
    QList<bool> loaded;
    for (const QueueSlot &s : slots_)
        loaded << (s.indicador != nullptr);
    loaded[0] = true;
    const int i = actions::FreeIndex(loaded);
    if (i < 1 || i >= kSlots) {
        platform::prompts().message(u"Se ha alcanzado el máximo de descargas en cola."_s, platform::Icon::Critical);
        return false;
    }

    QueueSlot &s = slots_[i];
    s.indicador = new download(frame_);
    s.indicador->setObjectName(u"indicador%1"_s.arg(i));
    connect(s.indicador, &download::Click, this, [this, i] { selectRow(i); });
    connect(s.indicador, &download::DblClick, this, [this, i] { showDetails(i); });
    connect(s.indicador, &download::MouseUp, this, [this, i](int button) { rowReleased(i, button); });
    s.indicador->setArchivo(file);
    s.indicador->setUrl(url);
    s.indicador->show();

    s.e = DownloadEntry();
    s.e.file = file;
    s.e.url = url;
    s.e.size = size;
    s.e.position = position;
    s.e.elapsed = elapsed;
    s.e.ftpuser = ftpuser;
    s.e.ftppass = ftppass;
    s.e.remember = remember;
    s.e.locked = locked;
    s.indicador->setLocked(locked);
    if (size > 0)
        s.indicador->setPorcentaje(int(qMin<qint64>(roundHalfEven(double(position) / double(size) * 100.0), 100)));
    s.indicador->setBytes(queueBytesText(position));

    s.e.used = true;
    reordenar_indicador();
    s.e.resumable = resumable;
    if (!nosave)
        guardar_lista_inactivas();
    return true;
}

void inactivas::removeEntry(int slot)
{
    QueueSlot &s = slots_[slot];
    if (s.indicador) {
        s.indicador->disconnect(this);
        s.indicador->hide();
        // It may be going from inside one of its own signals.
        s.indicador->deleteLater();
        s.indicador = nullptr;
    }
    s.e.used = false;
    if (selected_ == slot)
        clearSelection();
}

// The active table saves its list as it takes the download, so the queue
// may drop it afterwards: a download is never missing from both files.
bool inactivas::moveToActive(int slot)
{
    if (!active_ || !existe(slot))
        return false;
    const DownloadEntry e = slots_[slot].e;
    const int outer = moving_;
    moving_ = slot;
    const bool moved = active_->addnew(e.url, e.file, e.size, e.position, e.resumable, e.elapsed, false, e.ftpuser,
                                       e.ftppass, e.remember);
    moving_ = outer;
    return moved;
}

// Hands the entry to the active table and, once taken there, drops it here.
bool inactivas::resumeEntry(int slot)
{
    const QString file = slots_[slot].e.file;
    if (!moveToActive(slot))
        return false;
    removeEntry(slot);
    reordenar_indicador();
    appendLog(kCrlf + u"Se continúa la descarga de "_s + file + u" a las "_s + clockText(), kContinuedColor);
    // Left unsaved, the queue file would still list a download that is running.
    guardar_lista_inactivas();
    return true;
}

// The rows are packed by the list's layout.
void inactivas::reordenar_indicador()
{
    layoutList();
}

void inactivas::toactivas()
{
    int next = 0;
    for (int i = 1; i <= highestLoaded() && next == 0; ++i)
        if (slots_[i].e.used && !slots_[i].e.locked)
            next = i;
    if (next == 0) {
        guardar_lista_inactivas();
        return;
    }
    if (selected_ == next)
        clearSelection();
    resumeEntry(next);
}

bool inactivas::toact(int slot)
{
    if (!existe(slot))
        return false;
    const bool moved = moveToActive(slot);
    clearSelection();
    guardar_lista_inactivas();
    return moved;
}

void inactivas::delfile(int slot, bool deleteFile)
{
    if (!existe(slot))
        return;
    const QString file = slots_[slot].e.file;
    removeEntry(slot);
    reordenar_indicador();
    guardar_lista_inactivas();
    // Deleted once the list no longer names it.
    if (deleteFile && QFile::exists(file))
        QFile::remove(file);
}

void inactivas::CallCancel()
{
    cancelSelected();
}

void inactivas::CallContinue()
{
    continueSelected();
}

void inactivas::cancelSelected()
{
    const int slot = selected_;
    if (!existe(slot))
        return;
    const QString file = slots_[slot].e.file;
    if (!platform::prompts().question(u"¿Seguro que desea cancelar la transferencia de "_s + file + u"?"_s))
        return;
    // The question let other events run: the entry may have left meanwhile.
    if (!existe(slot) || slots_[slot].e.file != file)
        return;
    delfile(slot, true);
    clearSelection();
    appendLog(kCrlf + u"Cancelada la descarga de "_s + file + u" a las "_s + clockText(), kCancelledColor);
}

void inactivas::continueSelected()
{
    if (!existe(selected_))
        return;
    if (!active_ || active_->loadedRows() - 1 >= settingOr(&cfg::maxdesc, 10)) {
        platform::prompts().message(u"Ya hay activas el número máximo configurado."_s, platform::Icon::Critical);
        reordenar_indicador();
        guardar_lista_inactivas();
        return;
    }
    if (resumeEntry(selected_))
        clearSelection();
}

// A locked entry is passed over by the automatic promotion only.
void inactivas::bloquear()
{
    if (!existe(selected_)) {
        updateCommands();
        return;
    }
    QueueSlot &s = slots_[selected_];
    s.e.locked = !s.e.locked;
    s.indicador->setLocked(s.e.locked);
    updateCommands();
    reordenar_indicador();
    guardar_lista_inactivas();
}

void inactivas::CallProp()
{
    if (existe(selected_))
        showDetails(selected_);
}

bool inactivas::commandEnabled(const QString &key) const
{
    for (const QAction *action : {detener_, continuar_, bloquear_})
        if (action && action->objectName() == key)
            return action->isEnabled();
    return false;
}

void inactivas::updateCommands()
{
    const bool any = existe(selected_);
    detener_->setEnabled(any);
    continuar_->setEnabled(any);
    bloquear_->setEnabled(any);
    bloquear_->setChecked(any && slots_[selected_].e.locked);
}

void inactivas::dragEnterEvent(QDragEnterEvent *event)
{
    if (activas::acceptsDrop(event->mimeData()))
        event->acceptProposedAction();
}

// A dropped address is added as on the active window, which decides
// whether it starts now or waits here.
void inactivas::dropEvent(QDropEvent *event)
{
    event->acceptProposedAction();
    if (active_)
        active_->AgregarArrastrando(event->mimeData());
}

void inactivas::closeEvent(QCloseEvent *event)
{
    guardar_lista_inactivas();
    event->accept();
}
