// What the active window does with what its table tells: the rows, the
// status bar, the notices and sounds, the log, the finish steps.
#include "engine/activas.h"

#include "core/figures.h"
#include "core/login_hooks.h"
#include "core/queue_hooks.h"
#include "core/target_path.h"
#include "engine/get_host.h"
#include "engine/wording.h"
#include "log/log_append.h"
#include "log/notices.h"
#include "platform/prompts.h"
#include "platform/shell.h"
#include "rows/download.h"
#include "settings/cfg.h"

#include <QLabel>

using namespace Qt::StringLiterals;

namespace {
constexpr quint32 kErrorColor = 0x0000FF;
}

void activas::connectTable()
{
    ActiveTable *t = table_.get();
    connect(t, &ActiveTable::slotLoaded, this, &activas::onLoaded);
    connect(t, &ActiveTable::slotUnloaded, this, &activas::onUnloaded);
    connect(t, &ActiveTable::stateChanged, this, &activas::applyState);
    connect(t, &ActiveTable::progressed, this, &activas::showProgress);
    connect(t, &ActiveTable::redirected, this, [this](int, const QString &from, const QString &to) {
        emit statusText(3, wording(say(Message::Id::Redirected, {from, to})));
    });
    connect(t, &ActiveTable::finished, this, &activas::onFinished);
    connect(t, &ActiveTable::lost, this, [this](int, const Message &status) { emit statusText(3, wording(status)); });
    connect(t, &ActiveTable::stopped, this, [this](int, const Message &said) {
        const QString notice = wording(said);
        // Whatever the status said before (a redirect about to be followed),
        // the download now waits for the user.
        emit statusText(3, notice);
        PlayNoticeSound(msgFile(u"ding.wav"_s));
        ShowNotice(notice, msgFile(u"error.gif"_s));
    });
    connect(t, &ActiveTable::removedOnServer, this, [](const QString &url) {
        PlayNoticeSound(msgFile(u"ding.wav"_s));
        ShowNotice(u"El archivo "_s + url + u" no existe."_s, msgFile(u"error.gif"_s));
    });
    connect(t, &ActiveTable::fileFailed, this, [this](int, const Message &why) {
        const QString text = wording(why);
        emit statusText(3, text);
        appendLog(crlf_ + text, kErrorColor);
    });
    connect(t, &ActiveTable::askingLogin, this, [] { PlayNoticeSound(msgFile(u"user.wav"_s)); });
    connect(t, &ActiveTable::exhausted, this, &activas::onExhausted);
    connect(t, &ActiveTable::logLine, this,
            [this](const Message &line, quint32 color) { appendLog(crlf_ + wording(line), color); });
    connect(t, &ActiveTable::statusText, this, [this](const Message &text) { emit statusText(3, wording(text)); });
    connect(t, &ActiveTable::ticked, this, &activas::showTick);
    connect(t, &ActiveTable::listSaveFailed, this,
            [](const QString &error) { platform::prompts().message(error, platform::Icon::Critical); });
    connect(t, &ActiveTable::listLoadFailed, this, [](const QString &error) {
        platform::prompts().message(u"Error al cargar lista de activas: "_s + error, platform::Icon::Critical,
                                    u"Error"_s);
    });
    connect(t, &ActiveTable::refused, this, &activas::onRefused);
    connectRebind();
}

void activas::onLoaded(int i)
{
    const DownloadEntry &e = table_->slot(i).e;
    download *row = list_.newRow(this, i, &activas::selectRow, &activas::showDetails, &activas::onRowMouseUp);
    rows_[i] = row;
    row->setArchivo(e.file);
    showAddress(i);
    row->show();
    applyState(i, table_->slot(i).state);
    showProgress(i);
    reordenar_indicador();
}

void activas::onUnloaded(int i)
{
    RowList::dropRow(rows_[i], this);
    if (selected_ == i)
        clearSelection();
    reordenar_indicador();
}

// The row's flags and colour follow the download's state.
void activas::applyState(int i, DownloadState state)
{
    download *row = rows_[i];
    if (!row)
        return;
    if (isFinished(state)) {
        row->setReconectando(false);
        row->DownloadEnd();
        row->setFinalizado(true);
        row->setPorcentaje(100);
    } else if (waitsForUser(state)) {
        row->setFinalizado(false);
        row->setReconectando(false);
        row->setRedoend(true);
    } else {
        row->setFinalizado(false);
        row->setRedoend(false);
        row->setReconectando(isReconnecting(state));
    }
    if (i == selected_)
        updateCommands();
}

void activas::onRefused(const DownloadEntry &e, ActiveTable::Refusal why)
{
    switch (why) {
    case ActiveTable::Refusal::TargetTaken:
        platform::prompts().message(targetTakenText(e.file), platform::Icon::Critical);
        break;
    case ActiveTable::Refusal::TableFull:
        platform::prompts().message(u"No se ha podido agregar el archivo:"_s + crlf_
                                        + u"No quedan huecos libres en la tabla de descargas activas."_s,
                                    platform::Icon::Critical);
        break;
    case ActiveTable::Refusal::BadAddress:
        // Told once for each connection a download would have made.
        GetHost(e.url);
        GetHost(e.url);
        break;
    case ActiveTable::Refusal::None:
        break;
    }
}

// The row's address, and the details panel's when the row is selected.
void activas::showAddress(int i)
{
    download *row = rows_[i];
    if (!row)
        return;
    const DownloadEntry &e = table_->slot(i).e;
    row->setUrl(e.url);
    row->setToolTip(u"Descargando "_s + e.url + u" a "_s + e.file);
    if (i == selected_) {
        urlt_->setText(e.url);
        urlt_->setToolTip(e.url);
    }
}

void activas::showProgress(int i)
{
    download *row = rows_[i];
    if (!row)
        return;
    const DownloadEntry &e = table_->slot(i).e;
    row->setBytes(bytesText(bytesOnDisk(e)));
    if (e.size > 0) {
        const double percent = percentOnDisk(e);
        row->setPorcentaje(int(roundHalfEven(percent)));
        if (i == selected_)
            porcientot_->setText(numberText(percent) + u"%"_s);
    } else if (!isFinished(table_->slot(i).state)) {
        row->setPorcentaje(0);
    }
    if (i == selected_)
        bytest_->setText(panelBytesText(e));
}

void activas::onFinished(int i)
{
    const DownloadEntry &e = table_->slot(i).e;
    emit statusText(3, u"Finalizada la descarga de "_s + e.url);
    PlayNoticeSound(msgFile(u"notify.wav"_s));
    appendLog(u"\r\nLa descarga de "_s + e.url + u" a "_s + e.file + u" ha finalizado tras "_s
                  + QString::number(e.elapsed) + u" segundos."_s,
              0);

    const cfg *settings = cfg::instance();
    if (settings && settings->showmsg()) {
        PlayNoticeSound(msgFile(u"notify.wav"_s));
        ShowNotice(u"Se ha terminado la descarga de "_s + e.url, msgFile(u"download.gif"_s));
    }
    emit finishedFile(e.file);
    if (settings && settings->exevirus() && !settings->virus().isEmpty()) {
        // Once per file, however many of the extensions match.
        for (const QString &extension : settings->ext()) {
            if (!extension.isEmpty() && e.file.endsWith(extension)) {
                runAntivirus(settings->virus(), e.file);
                break;
            }
        }
    }
}

void activas::onExhausted(int i)
{
    const cfg *settings = cfg::instance();
    const QString text = u"Se han agotado los intentos para "_s + table_->slot(i).e.url;
    if (!settings || settings->msgdialog()) {
        PlayNoticeSound(msgFile(u"ding.wav"_s));
        ShowNotice(text, msgFile(u"error.gif"_s));
    }
    if (settings && settings->msgsys())
        emit trayError(text);
}

void activas::tiempotransTick()
{
    table_->elapsedTick();
    if (selected_ > 0 && existe(selected_))
        tiempou_->setText(formatElapsed(table_->slot(selected_).e.elapsed));
}

void activas::updateTick()
{
    showTick(table_->speedTick());
}

void activas::redoTick(int i)
{
    table_->redoTick(i);
}

void activas::showTick(qint32 total)
{
    if (selected_ > 0 && existe(selected_)) {
        const Slot &s = table_->slot(selected_);
        tiempou_->setText(formatElapsed(s.e.elapsed));
        qint64 left = 0;
        if (s.e.speed > 0)
            left = roundHalfEven((double(s.e.size - bytesOnDisk(s.e)) / 1024.0) / s.e.speed);
        tiemporest_->setText(isFinished(s.state) ? u"00:00"_s : formatElapsed(left));
        velmedia_->setText(QString::number(s.e.speed) + u" Kb/seg"_s);
    }

    const int rows = loadedRows() - 1;
    QString mean = u"0"_s;
    if (total > 0 && rows > 0)
        mean = numberText(roundHalfEven(double(total) / rows, 2));
    emit statusText(2, u"Vel. Total: "_s + QString::number(total) + u"Kb/seg||Vel. Media: "_s + mean + u" Kb/seg"_s);
    emit speedSample(total, QString::number(total) + u" Kb/seg"_s);
    emit statusText(1, countsText());
    // A selected row that ends or runs out of retries gets its buttons within a second.
    updateCommands();
}

QString activas::countsText() const
{
    const int rows = loadedRows() - 1;
    const QueueHooks *queue = table_->queue();
    const int queued = queue ? queue->loadedRows() - 1 : 0;
    return QString::number(rows) + u"/"_s + QString::number(rows + queued);
}

bool activas::askUser(const QString &caption, QString &user, QString &password, bool &remember)
{
    if (!login_)
        return false;
    const LoginHooks::Login answer = login_->askLogin(caption, {user, password, remember});
    user = answer.user;
    password = answer.password;
    remember = answer.remember;
    return true;
}

void activas::askDropLogin(QString &user, QString &password, bool &remember)
{
    user = u"anonymous"_s;
    password = u"guestpw"_s;
    remember = false;
    askUser(QString(), user, password, remember);
}
