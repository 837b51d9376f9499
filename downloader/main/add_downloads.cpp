#include "main/mainwindow.h"

#include "core/program_folder.h"
#include "core/schemes.h"
#include "core/target_path.h"
#include "core/url.h"
#include "engine/activas.h"
#include "engine/inactivas.h"
#include "engine/wording.h"
#include "links/listado.h"
#include "links/oldsupport.h"
#include "log/log_append.h"
#include "main/admission.h"
#include "main/ftplogin.h"
#include "main/link_list_file.h"
#include "platform/actions.h"
#include "platform/prompts.h"
#include "settings/cfg.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
// "..": resolved; an address it cannot resolve is told, never thrown further.
bool normalized(QString &address)
{
    try {
        NormalizeUrl(address);
        return true;
    } catch (const UrlError &e) {
        platform::prompts().message(u"No se ha podido agregar el archivo:"_s + u"\r\n"_s + QString::fromUtf8(e.what()),
                                    platform::Icon::Critical);
        return false;
    }
}
} // namespace

bool MainWindow::refuseTakenTarget(const QString &file) const
{
    if (!activas_->targetTaken(file))
        return false;
    platform::prompts().message(targetTakenText(file), platform::Icon::Critical);
    return true;
}

AddTarget MainWindow::admission(int queueRowLimit) const
{
    const int maxdesc = settings_ ? settings_->maxdesc() : 10;
    return admit(maxdesc, activas_->loadedRows(), inactivas_->loadedRows(), queueRowLimit);
}

bool MainWindow::addAdmitted(AddTarget target, const NewDownload &d)
{
    const bool stored =
        target == AddTarget::Active
            ? activas_->addnew(d.url, d.file, 0, 0, false, 0, false, d.user, d.password, d.remember)
            : inactivas_->addnew(d.url, d.file, 0, 0, false, 0, false, d.user, d.password, d.remember, false);
    refreshCounts();
    // A table that refused has told the user why; nothing is downloading.
    if (stored)
        appendLog(u"\r\n"_s + u"Descargando "_s + d.url + u" a "_s + d.file, 0);
    return stored;
}

void MainWindow::refreshCounts()
{
    setStatusText(1, activas_->countsText());
}

void MainWindow::addDialog()
{
    const QString clip = QGuiApplication::clipboard()->text();
    QString address = platform::prompts().input(u"Escriba aquí la dirección del archivo"_s,
                                                isDownloadAddress(clip) ? clip : QString());
    if (!normalized(address) || address.isEmpty())
        return;
    if (!isDownloadAddress(address)) {
        platform::prompts().message(
            u"Debe escribir una dirección web correcta (debe empezar por http://, https:// o ftp://)"_s,
            platform::Icon::Critical);
        return;
    }
    NewDownload d{address, QString(), QString(), QString(), false};
    if (address.startsWith(u"ftp://"_s)) {
        ftplogin login(this); // a new dialog each time: the next add starts from the defaults
        platform::prompts().execDialog(login);
        d.user = login.username();
        d.password = login.password();
        d.remember = login.remember();
    }
    const QString folder = platform::withTrailingSeparator(settings_ ? settings_->defdir() : QString());
    d.file = platform::prompts().saveFile(folder + GetFileName(address), QString());
    if (d.file.isEmpty())
        return;
    if (refuseTakenTarget(d.file))
        return;
    // A Yes keeps the old bytes on disk: the download proves them before it
    // appends anything, and starts over when they are another file's.
    if (QFile::exists(d.file)
        && !platform::prompts().question(u"El archivo indicado ya existe. ¿Desea sobreescribirlo?"_s))
        return;
    const AddTarget target = admission(kDialogQueueRows);
    if (target == AddTarget::Refused) {
        platform::prompts().message(u"Ya se ha alcanzado el máximo posible de descargas en cola."_s,
                                    platform::Icon::Critical);
        return;
    }
    addAdmitted(target, d);
}

bool MainWindow::quickAdd()
{
    return quickAddAs(QString(), BrowserSession());
}

bool MainWindow::quickAddAs(const QString &name, const BrowserSession &session)
{
    QString address = quickadd_->currentText().trimmed();
    if (!isDownloadAddress(address)) {
        platform::prompts().message(wrongAddressText(), platform::Icon::Critical);
        return false;
    }
    if (!normalized(address))
        return false;
    // Typed, from a page's link or from a second start alike: it may be the
    // new address a stopped download waits for.
    if (activas_->offerRebind(address)) {
        quickadd_->clearEditText();
        return true;
    }
    const QString folder = platform::withTrailingSeparator(settings_ ? settings_->defdir() : QString());
    // A name the browser gave is cleaned as a batch add cleans a listed name.
    const QString file = name.isEmpty() ? GetFileName(address) : GetFileName(u"http://h/"_s + name);
    const NewDownload d{address, folder + file, u"anonymous"_s, u"guestpw"_s, true};
    // Checked before the old file is offered for overwriting: it may be the
    // very file another download is writing, or one it has finished.
    if (refuseTakenTarget(d.file))
        return false;
    const bool exists = QFile::exists(d.file);
    if (exists && !platform::prompts().question(u"El archivo indicado ya existe. ¿Desea sobreescribirlo?"_s))
        return false;
    // The queue may be full: the old file goes only once the download is taken.
    const AddTarget target = admission(kQuickQueueRows);
    if (target == AddTarget::Refused) {
        platform::prompts().message(u"Ya se ha superado el máximo de descargas."_s, platform::Icon::Critical);
        return false;
    }
    if (exists && !QFile::remove(d.file)) {
        platform::prompts().message(u"No se ha podido agregar el archivo:"_s + u"\r\n"_s + u"No se puede borrar "_s
                                        + d.file,
                                    platform::Icon::Critical);
        return false;
    }
    // The browser's session is there before the download's first request.
    if (!session.isEmpty())
        browserSessions().remember(d.file, {address, session.referrer, session.cookies});
    if (!addAdmitted(target, d)) {
        if (!session.isEmpty())
            browserSessions().forget(d.file);
        return false;
    }
    if (quickpos_ > 10)
        quickpos_ = 0;
    if (actions::NotInList(address, quickadd_)) {
        quickadd_->insertItem(quickpos_, address);
        ++quickpos_;
    }
    quickadd_->setCurrentIndex(-1);
    quickadd_->clearEditText();
    return true;
}

bool MainWindow::añadir(const QString &address)
{
    quickadd_->setEditText(address);
    return quickAdd();
}

void MainWindow::pasteAddress()
{
    // An address is one line: of a copied block, the first line with text.
    const QStringList lines = QGuiApplication::clipboard()->text().split(u'\n');
    const auto line =
        std::find_if(lines.cbegin(), lines.cend(), [](const QString &l) { return !l.trimmed().isEmpty(); });
    if (!action(u"viequickadd"_s)->isChecked())
        setViewShown(u"viequickadd"_s, true);
    if (line != lines.cend())
        quickadd_->setEditText(line->trimmed());
    quickadd_->setFocus(Qt::ShortcutFocusReason);
}

void MainWindow::openLinkWindow()
{
    listado window(activas_, inactivas_, this);
    platform::prompts().execDialog(window);
    refreshCounts();
}

void MainWindow::loadList()
{
    const QString path = platform::prompts().openFile(QString(), QString());
    if (!path.isEmpty())
        loadListFrom(path);
}

void MainWindow::takeHandOff(const QStringList &addresses, const QString &listFile)
{
    // Each as if typed into the quick-add box: the same checks and messages.
    for (const QString &address : addresses)
        añadir(address);
    if (!listFile.isEmpty())
        loadListFrom(listFile);
}

void MainWindow::loadListFrom(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        platform::prompts().message(file.errorString(), platform::Icon::Critical);
        return;
    }
    // A list file is a few lines of names; anything bigger is not one, and is
    // refused whole rather than read in part.
    constexpr qint64 kMaxListBytes = 16 * 1024 * 1024;
    if (file.size() > kMaxListBytes) {
        platform::prompts().message(u"El archivo no es una lista de archivos: es demasiado grande (más de 16 MB)."_s,
                                    platform::Icon::Critical);
        return;
    }
    const LinkListFile list = decodeLinkList(file.read(kMaxListBytes));
    if (!list.ok()) {
        platform::prompts().message(list.error, platform::Icon::Critical);
        return;
    }
    oldsupport window(activas_, inactivas_, this);
    window.setUrl(list.url);
    window.setItems(list.items);
    platform::prompts().execDialog(window);
    refreshCounts();
}
