// inactivas.dwn: the queued downloads that survive a restart.
#include "engine/inactivas.h"

#include "core/file_writer.h"
#include "core/list_file.h"
#include "core/list_load.h"
#include "core/program_folder.h"
#include "core/target_path.h"
#include "platform/prompts.h"

#include <QFile>

#include <limits>

using namespace Qt::StringLiterals;

namespace {
QString listPath()
{
    return platform::programFile(u"inactivas.dwn"_s);
}

const QString kLoadError = u"Error al cargar lista de inactivas: "_s;
} // namespace

QByteArray inactivas::listBytes() const
{
    QList<ListRecord> records;
    const int last = highestLoaded();
    for (int i = 1; i <= last; ++i) {
        const DownloadEntry &e = slots_[i].e;
        if (!e.used)
            continue;
        ListRecord r;
        r.url = e.url;
        r.file = e.file;
        r.size = e.size;
        r.position = e.position;
        r.elapsed = e.elapsed;
        r.resumable = e.resumable;
        r.ftpuser = e.ftpuser;
        r.ftppass = e.ftppass;
        r.remember = e.remember;
        r.locked = e.locked;
        records << r;
    }
    return encodeListFile(records, ListKind::Inactive);
}

// Owner-only: the list can hold FTP passwords. Saved by the writer shared
// with the active table, in the order asked, without waiting for the disk;
// a failure comes back as a box.
void inactivas::guardar_lista_inactivas()
{
    writer().saveLater(listPath(), listBytes(), true);
}

void inactivas::waitForSaves()
{
    writer().flush();
}

QString inactivas::writeListNow()
{
    return writer().saveNow(listPath(), listBytes(), true);
}

platform::FileWriter &inactivas::writer()
{
    if (!writer_) {
        writer_ = std::make_shared<platform::FileWriter>();
        connect(writer_.get(), &platform::FileWriter::failed, this,
                [](const QString &error) { platform::prompts().message(error, platform::Icon::Critical); });
    }
    return *writer_;
}

void inactivas::cargar_lista_inactivas()
{
    if (!QFile::exists(listPath()))
        return;
    const ListLoad load = loadListFile(listPath(), ListKind::Inactive);
    for (const ListRecord &r : load.records) {
        const auto elapsed = qint32(qBound(qint64(0), r.elapsed, qint64(std::numeric_limits<qint32>::max())));
        addnew(r.url, listTargetPath(r.file), r.size, r.position, r.resumable, elapsed, true, r.ftpuser, r.ftppass,
               r.remember, r.locked);
    }
    if (!load.error.isEmpty())
        platform::prompts().message(kLoadError + load.error, platform::Icon::Critical, u"Error"_s);
}
