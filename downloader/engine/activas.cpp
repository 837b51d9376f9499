#include "engine/activas.h"

#include "core/queue_hooks.h"
#include "core/schemes.h"
#include "core/settings_file.h"
#include "core/url.h"
#include "engine/setting_or.h"
#include "platform/prompts.h"
#include "rows/download.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {
// What the table goes by while no settings dialog exists (tests, early start).
SettingsValues withoutSettings()
{
    SettingsValues v;
    v.autocont = false;
    return v;
}
} // namespace

activas::activas(QWidget *parent) : QWidget(parent), table_(std::make_unique<ActiveTable>())
{
    setObjectName(u"activas"_s);
    setWindowTitle(u"Descargas activas"_s);
    setAcceptDrops(true);
    // The table reads the settings dialog's values each time it needs them.
    table_->setSettings([] { return cfg::instance() ? cfg::instance()->values() : withoutSettings(); });
    buildLayout();
    connectTable();

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
    // The table ends its downloads as it goes; nothing is shown any more.
    table_->disconnect(this);
    table_.reset();
}

download *activas::indicador(int slot) const
{
    return slot >= 0 && slot < kSlots ? rows_[slot] : nullptr;
}

int activas::loadedRows() const
{
    return table_->loadedRows();
}

int activas::highestLoaded() const
{
    return table_->highestLoaded();
}

bool activas::existe(int slot) const
{
    return table_->existe(slot);
}

bool activas::targetTaken(const QString &file) const
{
    return table_->targetTaken(file);
}

void activas::setLogin(LoginHooks *login)
{
    login_ = login;
    table_->setLogin(login);
}

void activas::delfile(int i, bool deleteFile)
{
    if (!existe(i))
        return;
    // A download leaving unfinished (cancelled, paused) is not "all done":
    // only a finish after this one may switch the computer off.
    if (!isFinished(table_->slot(i).state))
        finishedWhilePressed_ = false;
    table_->remove(i, deleteFile);
}

bool activas::addnew(const QString &url, const QString &file, qint64 size, qint64 position, bool resumable,
                     qint32 elapsed, bool nosave, const QString &ftpuser, const QString &ftppass, bool remember)
{
    DownloadEntry e;
    e.url = url;
    e.file = file;
    e.size = size;
    e.position = position;
    e.resumable = resumable;
    e.elapsed = elapsed;
    e.ftpuser = ftpuser;
    e.ftppass = ftppass;
    e.remember = remember;
    return table_->add(e, !nosave).slot > 0;
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
    if (offerRebind(url))
        return;
    const QString file = platform::prompts().saveFile(GetFileName(url), QString());
    QString ftpuser;
    QString ftppass;
    bool remember = false;
    if (url.startsWith(u"ftp://"_s))
        askDropLogin(ftpuser, ftppass, remember);
    if (file.isEmpty())
        return;

    QueueHooks *queue = table_->queue();
    if (settingOr(&cfg::maxdesc, 10) > loadedRows()) {
        addnew(url, file, 0, 0, false, 0, false, ftpuser, ftppass, remember);
    } else if (queue && queue->loadedRows() < kSlots) {
        queue->addnew(url, file, 0, 0, false, 0, false, ftpuser, ftppass, remember, false);
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
