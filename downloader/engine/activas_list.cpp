// activas.dwn: the active downloads that survive a restart.
#include "engine/activas.h"

#include "engine/list_file.h"
#include "engine/list_load.h"
#include "engine/target_path.h"
#include "platform/file_writer.h"
#include "platform/program_folder.h"
#include "platform/prompts.h"
#include "rows/download.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace {
QString listPath()
{
    return platform::programFile(u"activas.dwn"_s);
}
} // namespace

QByteArray activas::listBytes() const
{
    QList<ListRecord> records;
    const int last = highestLoaded();
    for (int i = 1; i <= last; ++i) {
        const Slot &s = slots_[i];
        if (!s.e.used || !s.indicador || s.indicador->finalizado())
            continue;
        ListRecord r;
        r.url = s.e.url;
        r.file = s.e.file;
        r.size = s.e.size;
        r.position = s.e.position;
        r.elapsed = s.e.elapsed;
        r.resumable = s.e.resumable;
        r.ftpuser = s.e.ftpuser;
        r.ftppass = s.e.ftppass;
        r.remember = s.e.remember;
        records << r;
    }
    return encodeListFile(records, ListKind::Active);
}

// Owner-only: the list can hold FTP passwords. The window does not wait for
// the disk; a failure comes back as a box.
void activas::guardar_lista_activas()
{
    saveListLater();
}

QString activas::writeListNow()
{
    return writer().saveNow(listPath(), listBytes(), true);
}

// The same save without waiting for the disk: a download that finishes
// while others are writing never freezes the window.
void activas::saveListLater()
{
    writer().saveLater(listPath(), listBytes(), true);
}

platform::FileWriter &activas::writer()
{
    return *listWriter();
}

void activas::waitForSaves()
{
    writer().flush();
}

std::shared_ptr<platform::FileWriter> activas::listWriter()
{
    if (!writer_) {
        writer_ = std::make_shared<platform::FileWriter>();
        connect(writer_.get(), &platform::FileWriter::failed, this,
                [](const QString &error) { platform::prompts().message(error, platform::Icon::Critical); });
    }
    return writer_;
}

void activas::cargar_lista_activas()
{
    if (!QFile::exists(listPath()))
        return;
    const ListLoad load = loadListFile(listPath(), ListKind::Active);
    for (const ListRecord &r : load.records)
        addnew(r.url, listTargetPath(r.file), r.size, r.position, r.resumable, 0, true, r.ftpuser, r.ftppass,
               r.remember);
    if (!load.error.isEmpty())
        platform::prompts().message(u"Error al cargar lista de activas: "_s + load.error, platform::Icon::Critical,
                                    u"Error"_s);
}
