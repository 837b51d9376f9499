#include "engine/inactivas.h"

#include "core/figures.h"
#include "core/target_path.h"
#include "engine/activas.h"
#include "engine/setting_or.h"
#include "engine/wording.h"
#include "log/log_append.h"
#include "platform/prompts.h"
#include "rows/download.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>

using namespace Qt::StringLiterals;

namespace {
constexpr quint32 kContinuedColor = 0x00BB00; // RGB(0, 187, 0)
constexpr quint32 kCancelledColor = 0x000080; // RGB(128, 0, 0)
const QString kCrlf = u"\r\n"_s;
} // namespace

QString queueBytesText(qint64 bytes)
{
    if (bytes > 1048576)
        return numberText(double(bytes) / 1048576.0) + u" Mb"_s;
    if (bytes > 1024)
        return numberText(double(bytes) / 1024.0) + u" Kb"_s;
    return QString::number(bytes) + u" bytes"_s;
}

inactivas::inactivas(QWidget *parent) : QWidget(parent), table_(std::make_unique<QueueTable>())
{
    setObjectName(u"inactivas"_s);
    setWindowTitle(u"Descargas inactivas"_s);
    setAcceptDrops(true);
    buildLayout();
    updateCommands();

    QueueTable *t = table_.get();
    connect(t, &QueueTable::entryAdded, this, &inactivas::onAdded);
    connect(t, &QueueTable::entryRemoved, this, &inactivas::onRemoved);
    connect(t, &QueueTable::entryChanged, this, [this](int slot) {
        rows_[slot]->setLocked(table_->entry(slot).locked);
        updateCommands();
        reordenar_indicador();
    });
    connect(t, &QueueTable::resumed, this, [](const QString &file) {
        appendLog(kCrlf + u"Se continúa la descarga de "_s + file + u" a las "_s + clockText(), kContinuedColor);
    });
    connect(t, &QueueTable::refused, this, &inactivas::onRefused);
    connect(t, &QueueTable::logLine, this, [](const QString &text, quint32 color) { appendLog(kCrlf + text, color); });
    connect(t, &QueueTable::listSaveFailed, this,
            [](const QString &error) { platform::prompts().message(error, platform::Icon::Critical); });
    connect(t, &QueueTable::listLoadFailed, this, [](const QString &error) {
        platform::prompts().message(u"Error al cargar lista de inactivas: "_s + error, platform::Icon::Critical,
                                    u"Error"_s);
    });
}

inactivas::~inactivas()
{
    table_->disconnect(this);
    table_.reset();
}

void inactivas::setActive(activas *active)
{
    active_ = active;
    table_->setActive(active ? &active->table() : nullptr);
}

download *inactivas::indicador(int slot) const
{
    return slot >= 0 && slot < kSlots ? rows_[slot] : nullptr;
}

int inactivas::loadedRows() const
{
    return table_->loadedRows();
}

int inactivas::highestLoaded() const
{
    return table_->highestLoaded();
}

bool inactivas::existe(int slot) const
{
    return table_->existe(slot);
}

bool inactivas::holdsTarget(const QString &file) const
{
    return table_->holdsTarget(file);
}

bool inactivas::addnew(const QString &url, const QString &file, qint64 size, qint64 position, bool resumable,
                       qint32 elapsed, bool nosave, const QString &ftpuser, const QString &ftppass, bool remember,
                       bool locked)
{
    return table_->addnew(url, file, size, position, resumable, elapsed, nosave, ftpuser, ftppass, remember, locked);
}

void inactivas::noteWritten(const QString &file, qint64 written)
{
    table_->noteWritten(file, written);
}

void inactivas::onRefused(const QString &file, QueueTable::Refusal why)
{
    if (why == QueueTable::Refusal::TargetTaken)
        platform::prompts().message(targetTakenText(file), platform::Icon::Critical);
    else
        platform::prompts().message(u"Se ha alcanzado el máximo de descargas en cola."_s, platform::Icon::Critical);
}

void inactivas::onAdded(int i)
{
    rows_[i] = list_.newRow(this, i, &inactivas::selectRow, &inactivas::showDetails, &inactivas::rowReleased);
    showEntry(i);
    rows_[i]->show();
    reordenar_indicador();
}

void inactivas::showEntry(int i)
{
    const DownloadEntry &e = table_->entry(i);
    download *row = rows_[i];
    row->setArchivo(e.file);
    row->setUrl(e.url);
    row->setLocked(e.locked);
    if (e.size > 0)
        row->setPorcentaje(int(roundHalfEven(percentOnDisk(e))));
    row->setBytes(queueBytesText(bytesOnDisk(e)));
}

void inactivas::onRemoved(int i)
{
    RowList::dropRow(rows_[i], this);
    if (selected_ == i)
        clearSelection();
    reordenar_indicador();
}

// The rows are packed by the list's layout.
void inactivas::reordenar_indicador()
{
    layoutList();
}

void inactivas::toactivas()
{
    table_->toactivas();
}

bool inactivas::toact(int slot)
{
    if (!existe(slot))
        return false;
    const bool moved = table_->moveToActive(slot);
    clearSelection();
    table_->saveLater();
    return moved;
}

void inactivas::delfile(int slot, bool deleteFile)
{
    table_->remove(slot, deleteFile);
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
    const QString file = entry(slot).file;
    if (!platform::prompts().question(u"¿Seguro que desea cancelar la transferencia de "_s + file + u"?"_s))
        return;
    // The question let other events run: the entry may have left meanwhile.
    if (!existe(slot) || entry(slot).file != file)
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
    if (table_->resume(selected_))
        clearSelection();
}

// A locked entry is passed over by the automatic promotion only.
void inactivas::bloquear()
{
    if (!existe(selected_)) {
        updateCommands();
        return;
    }
    table_->setLocked(selected_, !entry(selected_).locked);
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
    bloquear_->setChecked(any && entry(selected_).locked);
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
