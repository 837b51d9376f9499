// The commands on one download: the toolbar opciones, the forwarding
// methods of the menus, the details dialog and switching off when all ended.
#include "engine/activas.h"

#include "core/figures.h"
#include "core/queue_hooks.h"
#include "core/settings_file.h"
#include "dialogs/detallado.h"
#include "engine/details_fill.h"
#include "engine/setting_or.h"
#include "engine/wording.h"
#include "log/log_append.h"
#include "log/notices.h"
#include "platform/prompts.h"
#include "platform/shell.h"
#include "rows/download.h"
#include "settings/cfg.h"

#include <QAction>
#include <QCursor>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

using namespace Qt::StringLiterals;

namespace {
constexpr quint32 kCancelledColor = 0x000080; // RGB(128, 0, 0)
constexpr quint32 kPausedColor = 0x00C4C4;    // RGB(196, 196, 0)
constexpr quint32 kOpenedColor = 0x408080;    // RGB(128, 128, 64)
constexpr quint32 kErrorColor = 0x0000FF;
constexpr int kRightButton = 2;
} // namespace

void activas::buildToolbar()
{
    struct Button {
        QString key;
        QString tip;
        QStyle::StandardPixmap icon;
    };
    // Positions count from 1; an empty key is a separator.
    const QList<Button> buttons = {
        {u"detener"_s, u"Cancelar descarga"_s, QStyle::SP_BrowserStop},
        {u"pausar"_s, u"Pausar descarga"_s, QStyle::SP_MediaPause},
        {u"continuar"_s, u"Reconectar"_s, QStyle::SP_BrowserReload},
        {},
        {u"delend"_s, u"Borrar los archivos descargados"_s, QStyle::SP_DialogResetButton},
        {},
        {u"open"_s, u"Ejecutar archivo"_s, QStyle::SP_DialogOpenButton},
        {u"antivirus"_s, u"Ejecutar antivirus"_s, QStyle::SP_MessageBoxWarning},
        {},
        {u"apagar"_s, u"Apagar equipo al finalizar descargas"_s, QStyle::SP_DialogCloseButton},
        {u"buscar"_s, u"Buscar nueva dirección"_s, QStyle::SP_FileDialogContentsView},
    };
    opciones_ = new QToolBar(this);
    opciones_->setObjectName(u"opciones"_s);
    opciones_->setIconSize(QSize(16, 16));
    for (const Button &b : buttons) {
        if (b.key.isEmpty()) {
            opciones_->addSeparator();
            continue;
        }
        QAction *action = opciones_->addAction(style()->standardIcon(b.icon), b.tip);
        action->setObjectName(b.key);
        action->setToolTip(b.tip);
    }
    command(u"apagar"_s)->setCheckable(true);

    connect(command(u"detener"_s), &QAction::triggered, this, &activas::detener);
    connect(command(u"pausar"_s), &QAction::triggered, this, &activas::pausar);
    connect(command(u"continuar"_s), &QAction::triggered, this, &activas::continuar);
    connect(command(u"delend"_s), &QAction::triggered, this, &activas::delend);
    connect(command(u"open"_s), &QAction::triggered, this, &activas::openSelected);
    connect(command(u"antivirus"_s), &QAction::triggered, this, &activas::antivirus);
    connect(command(u"buscar"_s), &QAction::triggered, this, &activas::CallRebind);
    // Every press starts a new wait: only downloads ending from now on count.
    connect(command(u"apagar"_s), &QAction::toggled, this, [this] { finishedWhilePressed_ = false; });
    updateCommands();
}

QAction *activas::command(const QString &key) const
{
    if (!opciones_)
        return nullptr;
    for (QAction *action : opciones_->actions())
        if (!action->isSeparator() && action->objectName() == key)
            return action;
    return nullptr;
}

bool activas::commandEnabled(const QString &key) const
{
    const QAction *action = command(key);
    return action && action->isEnabled();
}

// The rows change state on their own (finish, run out of retries), so the
// state is looked at again before a menu presses a button.
void activas::pressButton(int position)
{
    updateCommands();
    const QList<QAction *> actions = opciones_->actions();
    if (position < 1 || position > actions.size())
        return;
    QAction *action = actions[position - 1];
    if (!action->isSeparator())
        action->trigger(); // a disabled button does nothing
}

void activas::CallCancel()
{
    pressButton(1);
}

void activas::CallPause()
{
    pressButton(2);
}

void activas::CallContinue()
{
    pressButton(3);
}

void activas::CallExe()
{
    pressButton(7);
}

void activas::CallAntiv()
{
    pressButton(8);
}

void activas::CallProp()
{
    if (selected_ > 0 && existe(selected_))
        showDetails(selected_);
}

// A finished row can be opened and scanned; a running one cancelled and
// paused; one whose retries ran out reconnected. Nothing selected, nothing enabled.
void activas::updateCommands()
{
    if (!opciones_)
        return;
    const bool row = selected_ > 0 && existe(selected_);
    const DownloadState state = row ? table_->slot(selected_).state : DownloadState::Connecting;
    const bool finished = row && isFinished(state);
    command(u"detener"_s)->setEnabled(row && !finished);
    command(u"pausar"_s)->setEnabled(row && !finished);
    command(u"continuar"_s)->setEnabled(row && waitsForUser(state));
    command(u"open"_s)->setEnabled(finished);
    command(u"antivirus"_s)->setEnabled(finished);
    command(u"buscar"_s)->setEnabled(canSearchAddress());
}

void activas::onRowMouseUp(int i, int button)
{
    if (button != kRightButton)
        return;
    selectRow(i);
    if (selected_ == i)
        emit rowMenuRequested(QCursor::pos());
}

void activas::detener()
{
    const int i = selected_;
    if (i == 0 || !existe(i)) {
        selected_ = 0;
        return;
    }
    const quint64 generation = table_->slot(i).generation;
    const QString file = table_->slot(i).e.file;
    if (!platform::prompts().question(u"¿Seguro que desea cancelar la transferencia de "_s + file + u"?"_s))
        return;
    // The question let other events run: the download may be gone, its slot reused.
    if (!existe(i) || table_->slot(i).generation != generation)
        return;
    delfile(i, true);
    appendLog(crlf_ + u"Cancelada la descarga de "_s + file + u" a las "_s + clockText(), kCancelledColor);
    clearSelection();
}

void activas::pausar()
{
    const int i = selected_;
    if (i == 0 || !existe(i))
        return;
    const quint64 generation = table_->slot(i).generation;
    if (!table_->slot(i).e.resumable) {
        const bool yes = platform::prompts().question(
            u"Advertencia: Este servidor no soporta la reanudación de descargas, así que empezará de cero la próxima vez. ¿Desea pausar la descarga de todas formas?"_s);
        if (!yes || !existe(i) || table_->slot(i).generation != generation)
            return;
    }
    const DownloadEntry e = table_->slot(i).e;
    // The queue saves its list before this one drops the entry: a stop in
    // between leaves the download in both lists, never in neither.
    if (!handToQueue(i))
        return;
    appendLog(crlf_ + u"Pausada la descarga de "_s + e.file + u" a las "_s + clockText()
                  + u" cuando llevaba descargado "_s + QString::number(bytesOnDisk(e)) + u" bytes"_s,
              kPausedColor);
    if (existe(i) && table_->slot(i).generation == generation)
        delfile(i, false);
    clearSelection();
}

bool activas::toinact(int i)
{
    if (!existe(i) || !handToQueue(i))
        return false;
    guardar_lista_activas();
    return true;
}

bool activas::handToQueue(int i)
{
    const QueueHooks *queue = table_->queue();
    if (!queue)
        return false;
    if (queue->loadedRows() >= kSlots) {
        platform::prompts().message(u"Se ha alcanzado el máximo de descargas en cola."_s, platform::Icon::Critical);
        return false;
    }
    return table_->handToQueue(i);
}

void activas::continuar()
{
    const int i = selected_;
    if (i == 0 || !existe(i))
        return;
    table_->reconnect(i);
    updateCommands();
}

// Finished rows leave the list; their files stay, and the list file has
// no finished entries to drop.
void activas::delend()
{
    clearSelection();
    table_->removeFinished();
    reordenar_indicador();
}

void activas::openSelected()
{
    const int i = selected_;
    if (i == 0 || !existe(i))
        return;
    const QString file = table_->slot(i).e.file;
    ShellOpen(file);
    appendLog(crlf_ + u"Ejecutado el archivo "_s + file + u" a las "_s + clockText(), kOpenedColor);
}

void activas::antivirus()
{
    const int i = selected_;
    if (i == 0 || !existe(i))
        return;
    const cfg *settings = cfg::instance();
    const QString virus = settings ? settings->virus() : QString();
    if (virus.isEmpty()) {
        platform::prompts().message(u"No hay ningún antivirus configurado."_s, platform::Icon::Exclamation);
        return;
    }
    runAntivirus(virus, table_->slot(i).e.file);
}

// The file is one argument, whatever blanks or quotes its path holds; an
// antivirus that cannot be started is told, never fatal.
void activas::runAntivirus(const QString &virus, const QString &file)
{
    if (platform::shell().start(virus, {file}))
        return;
    const QString text = u"No se ha podido ejecutar el antivirus "_s + virus + u" con "_s + file + u"."_s;
    emit statusText(3, text);
    appendLog(crlf_ + text, kErrorColor);
}

void activas::showDetails(int i)
{
    selectRow(i);
    if (!existe(i))
        return;
    const Slot &s = table_->slot(i);
    const QString estado = detailsStateText(s.state, s.stopReason);
    detallado dialog(this);
    fillDetailsDialog(dialog, s.e, estado);
    // A finished download has nothing left to slow down.
    if (!isFinished(s.state))
        dialog.setLimit(speedLimitText(s.ownLimitKb));
    if (s.state == DownloadState::Transferring)
        dialog.setConnections(QString::number(std::max(1, s.e.connections)));
    const quint64 generation = s.generation;
    connect(&dialog, &detallado::limitRequested, this, [this, i, generation, &dialog] {
        if (existe(i) && table_->slot(i).generation == generation && askSpeedLimit(i))
            dialog.setLimit(speedLimitText(table_->slot(i).ownLimitKb));
    });
    dialog.setAddressSearchable(table_->canRebind(i));
    connect(&dialog, &detallado::addressSearchRequested, this, [this, i, generation] {
        if (existe(i) && table_->slot(i).generation == generation && table_->canRebind(i))
            askNewAddress(i);
    });
    platform::prompts().execDialog(dialog);
}

void activas::CallLimit()
{
    if (selected_ > 0 && existe(selected_) && !isFinished(table_->slot(selected_).state))
        askSpeedLimit(selected_);
}

QString speedLimitText(int kb)
{
    return kb > 0 ? QString::number(kb) + u" Kb/seg"_s : u"sin límite"_s;
}

bool activas::askSpeedLimit(int i)
{
    const Slot &s = table_->slot(i);
    const QString answer =
        platform::prompts().input(u"Límite de velocidad para "_s + s.e.file + u" (Kb/seg, 0 = sin límite):"_s,
                                  QString::number(s.ownLimitKb), u"Limitar velocidad"_s);
    if (answer.isEmpty())
        return false;
    bool ok = false;
    const int kb = answer.trimmed().toInt(&ok);
    if (!ok || kb < 0 || kb > maxSpeedLimitKb) {
        platform::prompts().message(
            u"El límite debe ser un número entero de Kb/seg entre 0 y %1."_s.arg(maxSpeedLimitKb),
            platform::Icon::Exclamation);
        return false;
    }
    table_->setSpeedLimit(i, kb);
    return true;
}

bool activas::shutdownPressed() const
{
    const QAction *apagar = command(u"apagar"_s);
    return apagar && apagar->isChecked();
}

void activas::setShutdownPressed(bool pressed)
{
    if (QAction *apagar = command(u"apagar"_s))
        apagar->setChecked(pressed);
}

// Every two seconds while apagar is pressed: once no download is left
// unfinished (and at least one existed), both lists are saved and the
// computer is switched off, once.
void activas::shutdownTick()
{
    if (!shutdownPressed())
        return;
    int rows = 0;
    if (!table_->allFinished(&rows))
        return;
    if (rows == 0 && !finishedWhilePressed_)
        return;

    setShutdownPressed(false);
    QString error = writeListNow();
    if (error.isEmpty() && table_->queue())
        error = table_->queue()->writeListNow();
    // Switching off with a list unsaved would lose downloads.
    if (!error.isEmpty()) {
        const QString text = u"No se ha apagado el equipo: "_s + error;
        emit statusText(3, text);
        appendLog(crlf_ + text, kErrorColor);
        return;
    }
    if (!platform::shell().powerOff()) {
        const QString text = u"No se ha podido apagar el equipo."_s;
        emit statusText(3, text);
        appendLog(crlf_ + text, kErrorColor);
    }
}
