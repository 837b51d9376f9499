// What the active window does with what a download's transfer tells it:
// the rows, the status bar, the finish steps, retries and the login dialog.
#include "engine/activas.h"

#include "engine/figures.h"
#include "engine/login_hooks.h"
#include "engine/queue_hooks.h"
#include "log/log_append.h"
#include "log/notices.h"
#include "platform/interval_timer.h"
#include "platform/shell.h"
#include "rows/download.h"
#include "settings/cfg.h"

#include <QLabel>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace {
const QString kWrongLogin = u"Usuario incorrecto."_s;
}

void activas::startTransfer(int i)
{
    Slot &s = slots_[i];
    if (!s.transfer)
        return;
    Transfer *t = s.transfer;
    QMetaObject::invokeMethod(
        t, [t, attempt = ++s.attempt] { t->connectNow(attempt); }, Qt::QueuedConnection);
}

// Whatever the transfer still says about the connection it had is stale
// from now on.
void activas::closeTransfer(int i, bool deleteFile)
{
    Slot &s = slots_[i];
    ++s.attempt;
    s.e.speed = 0;
    if (!s.transfer)
        return;
    Transfer *t = s.transfer;
    QMetaObject::invokeMethod(
        t, [t, deleteFile] { deleteFile ? t->closeAndDelete() : t->closeAll(); }, Qt::QueuedConnection);
}

bool activas::current(int i, int attempt) const
{
    const Slot &s = slots_[i];
    return s.e.used && s.transfer && attempt == s.attempt;
}

void activas::mirror(int i, const TransferFigures &f)
{
    Slot &s = slots_[i];
    s.e.url = f.url;
    s.e.position = f.position;
    s.e.size = f.size;
    s.e.resumable = f.resumable;
    s.e.positionAtConnect = f.positionAtConnect;
    if (f.received != s.received) {
        s.received = f.received;
        s.idle = 0;
    }
}

void activas::onConnected(int i)
{
    Slot &s = slots_[i];
    s.indicador->setReconectando(false);
    s.e.elapsedAtConnect = s.e.elapsed;
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

void activas::onFinished(int i, const TransferFigures &figures)
{
    mirror(i, figures);
    showProgress(i);
    ++slots_[i].attempt;
    finishDownload(i);
}

void activas::finishDownload(int i)
{
    Slot &s = slots_[i];
    s.e.speed = 0;
    s.indicador->DownloadEnd();
    s.indicador->setFinalizado(true);
    s.indicador->setPorcentaje(100);
    emit statusText(3, u"Finalizada la descarga de "_s + s.e.url);
    PlayNoticeSound(msgFile(u"notify.wav"_s));
    appendLog(u"\r\nLa descarga de "_s + s.e.url + u" a "_s + s.e.file + u" ha finalizado tras "_s
                  + QString::number(s.e.elapsed) + u" segundos."_s,
              0);

    const cfg *settings = cfg::instance();
    if (settings && settings->showmsg()) {
        PlayNoticeSound(msgFile(u"notify.wav"_s));
        ShowNotice(u"Se ha terminado la descarga de "_s + s.e.url, msgFile(u"download.gif"_s));
    }
    emit finishedFile(s.e.file);
    if (settings && settings->exevirus() && !settings->virus().isEmpty()) {
        // Once per file, however many of the extensions match.
        for (const QString &extension : settings->ext()) {
            if (!extension.isEmpty() && s.e.file.endsWith(extension)) {
                runAntivirus(settings->virus(), s.e.file);
                break;
            }
        }
    }
    if (settings && settings->dellista())
        removeDownload(i);
    // The finished download no longer belongs in the list a restart reads.
    saveListLater();
    if (settings && settings->autocont() && queue_ && queue_->loadedRows() > 1)
        queue_->toactivas();
}

// The connection is given up for now; the retry timer will try again.
void activas::onLost(int i, const QString &status, const TransferFigures &figures)
{
    Slot &s = slots_[i];
    mirror(i, figures);
    showProgress(i);
    s.e.speed = 0;
    emit statusText(3, status);
    s.indicador->setReconectando(true);
    armRetry(i);
}

void activas::onStopped(int i, const QString &notice, bool sizeChanged, const TransferFigures &figures)
{
    Slot &s = slots_[i];
    mirror(i, figures);
    s.e.speed = 0;
    s.sizeChanged = sizeChanged;
    // Whatever the status said before (a redirect about to be followed), the
    // download now waits for the user.
    emit statusText(3, notice);
    PlayNoticeSound(msgFile(u"ding.wav"_s));
    ShowNotice(notice, msgFile(u"error.gif"_s));
    s.indicador->setRedoend(true);
}

void activas::onRemoved(int i)
{
    Slot &s = slots_[i];
    PlayNoticeSound(msgFile(u"ding.wav"_s));
    ShowNotice(u"El archivo "_s + s.e.url + u" no existe."_s, msgFile(u"error.gif"_s));
    unloadSlot(i, true);
    s.e.used = false;
    if (selected_ == i)
        clearSelection();
    reordenar_indicador();
}

void activas::onFileFailed(int i, const QString &text)
{
    Slot &s = slots_[i];
    emit statusText(3, text);
    appendLog(u"\r\n"_s + text, 0x0000FF);
    s.e.speed = 0;
    s.redo->setInterval(0);
    s.indicador->setRedoend(true);
}

// Login refused: the user is asked once this handler has returned, and the
// download waits for the answer without retrying. While the dialog asks for
// another download this refusal is left unanswered; the watchdog tries this
// one again later.
void activas::onLoginRefused(int i)
{
    Slot &s = slots_[i];
    s.indicador->setReconectando(true);
    if (askingLogin_ != 0)
        return;
    s.askingLogin = true;
    askingLogin_ = i;
    const quint64 generation = s.generation;
    QMetaObject::invokeMethod(
        this, [this, i, generation] { askLogin(i, generation); }, Qt::QueuedConnection);
}

void activas::askLogin(int i, quint64 generation)
{
    if (!slots_[i].e.used || slots_[i].generation != generation) {
        askingLogin_ = 0;
        return;
    }
    QPointer<activas> self(this);
    PlayNoticeSound(msgFile(u"user.wav"_s));
    QString user = slots_[i].e.ftpuser;
    QString password = slots_[i].e.ftppass;
    bool remember = slots_[i].e.remember;
    const bool asked = askUser(kWrongLogin, user, password, remember);
    // The window, or this download, may have gone while the dialog waited.
    if (!self)
        return;
    askingLogin_ = 0;
    Slot &s = slots_[i];
    if (!s.e.used || s.generation != generation)
        return;
    s.askingLogin = false;
    if (asked) {
        s.e.ftpuser = user;
        s.e.ftppass = password;
        s.e.remember = remember;
        Transfer *t = s.transfer;
        QMetaObject::invokeMethod(
            t, [t, user, password] { t->setLogin(user, password); }, Qt::QueuedConnection);
    }
    armRetry(i);
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
