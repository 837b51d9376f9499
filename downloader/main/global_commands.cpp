#include "main/mainwindow.h"

#include "core/figures.h"
#include "core/program_folder.h"
#include "dialogs/about.h"
#include "engine/activas.h"
#include "engine/inactivas.h"
#include "log/log_append.h"
#include "log/log_document.h"
#include "log/notices.h"
#include "main/tiling.h"
#include "platform/desktop_notices.h"
#include "platform/prompts.h"
#include "platform/shell.h"
#include "settings/cfg.h"

#include <QAction>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStyle>

#include "cpindle.h"

using namespace Qt::StringLiterals;

void MainWindow::pauseAll()
{
    if (!platform::prompts().question(
            u"¿Realmente desea pausar TODAS las descargas activas (las que el servidor no permita reanudación se "
            u"deberán empezar de 0 la próxima vez)?"_s))
        return;
    // Into the queue first, then out of the table: a kill in between leaves
    // a download in both lists, never in neither.
    for (int i = 1; i < activas::kSlots; ++i) {
        if (!activas_->existe(i))
            continue;
        // A download the queue refused stays active. Once the queue is full
        // nothing more fits: its message has been shown once, and that is enough.
        if (activas_->toinact(i))
            activas_->delfile(i, false);
        else if (inactivas_->loadedRows() >= activas::kSlots)
            break;
    }
}

void MainWindow::continueAll()
{
    // As the command always did: one more than the maximum may move, whatever is already active.
    const int maxdescval = settings_ ? settings_->maxdescval() : 3;
    int n = 0;
    for (int i = 1; i < activas::kSlots; ++i) {
        if (n > maxdescval)
            break;
        // A download the active table refused stays queued.
        if (inactivas_->existe(i) && inactivas_->toact(i)) {
            inactivas_->delfile(i, false);
            ++n;
        }
    }
}

void MainWindow::cancelAll(Which which)
{
    const QString question =
        which == Which::Active   ? u"¿Realmente desea cancelar (y eliminar) todas las descargas activas?"_s
        : which == Which::Queued ? u"¿Realmente desea cancelar (y eliminar) todas las descargas inactivas?"_s
                                 : u"¿Realmente desea cancelar (y eliminar) todas las descargas?"_s;
    if (!platform::prompts().question(question))
        return;
    if (which != Which::Queued) {
        for (int i = 1; i < activas::kSlots; ++i)
            if (activas_->existe(i))
                activas_->delfile(i, true);
    }
    if (which != Which::Active) {
        for (int i = 1; i < activas::kSlots; ++i)
            if (inactivas_->existe(i))
                inactivas_->delfile(i, true);
    }
    const QString text = which == Which::Active   ? u"Canceladas TODAS LAS DESCARGAS ACTIVAS a las "_s
                         : which == Which::Queued ? u"Canceladas TODAS LAS DESCARGAS INACTIVAS a las "_s
                                                  : u"Canceladas TODAS las descargas a las "_s;
    appendLog(u"\r\n"_s + text + clockText(), 128);
    refreshCounts();
}

void MainWindow::saveLogAs()
{
    const QString path = platform::prompts().saveFile(u"*.rtf"_s, u"rtf"_s);
    if (path.isEmpty() || path == u"*.rtf"_s)
        return;
    QString error;
    if (!logDocument().saveAs(path, &error))
        platform::prompts().message(u"No se ha podido guardar "_s + path + u": "_s + error, platform::Icon::Critical);
}

void MainWindow::clearLog()
{
    const QString error = logDocument().clear();
    if (!error.isEmpty())
        platform::prompts().message(error, platform::Icon::Critical);
}

void MainWindow::showHelp()
{
    const QString help = platform::resourceFile(u"help.html"_s);
    platform::shell().openWatched(help, [help] {
        platform::prompts().message(u"No hay ningún programa para ver la ayuda. Puede abrirla con su navegador:"_s
                                        + u"\r\n"_s + QDir::toNativeSeparators(help),
                                    platform::Icon::Information, u"Ayuda"_s);
    });
}

void MainWindow::hideToTray()
{
    if (!about_)
        return;
    // Hidden with no notification area to come back from, the window would be lost.
    if (!about_->trayIcon()->backend()->available()) {
        showMinimized();
        setStatusText(3, u"No hay barra del sistema: la ventana se ha minimizado."_s);
        return;
    }
    about_->pindle();
}

void MainWindow::arrange(int how)
{
    QList<QMdiSubWindow *> shown;
    for (QMdiSubWindow *sub : area_->subWindowList())
        if (sub->isVisible())
            shown << sub;
    const QRect room = area_->viewport()->rect();
    const int step = style()->pixelMetric(QStyle::PM_TitleBarHeight) + 4;
    const QList<QRect> rects =
        how == 0 ? cascadeRects(room, int(shown.size()), step) : tileRects(room, int(shown.size()), how == 1);
    for (qsizetype i = 0; i < shown.size(); ++i) {
        shown[i]->showNormal();
        shown[i]->setGeometry(rects[i]);
        shown[i]->raise();
    }
}

void MainWindow::addTrayError(const QString &text)
{
    auto *icon = new cPindle(this);
    icon->hide();
    icon->setProperty("tag", text);
    const QIcon picture(msgFile(u"error.gif"_s));
    icon->setTrayIcon(picture.isNull() ? style()->standardIcon(QStyle::SP_MessageBoxWarning) : picture);
    icon->setTrayTip(u"Mensaje de Tandrel"_s);
    connect(icon, &cPindle::MouseDblClick, this, [this, icon] {
        if (!errmsg_.removeOne(icon))
            return;
        ShowNotice(icon->property("tag").toString(), msgFile(u"error.gif"_s));
        icon->setInTray(false);
        icon->deleteLater();
    });
    errmsg_ << icon;
    icon->setInTray(true);
    // A hidden window's user hears of it from the desktop, once: a text also
    // shown as a notice window has gone there already.
    if (const cfg *settings = cfg::instance(); settings && !settings->msgdialog())
        platform::desktopNotices().forward(text);
}

QList<cPindle *> MainWindow::errorIcons() const
{
    return errmsg_;
}
