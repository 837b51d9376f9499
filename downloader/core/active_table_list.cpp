// activas.dwn: the active downloads that survive a restart.
#include "core/active_table.h"

#include "core/file_writer.h"
#include "core/list_file.h"
#include "core/list_load.h"
#include "core/program_folder.h"
#include "core/target_path.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace {
QString listPath()
{
    return platform::programFile(u"activas.dwn"_s);
}
} // namespace

QByteArray ActiveTable::listBytes() const
{
    QList<ListRecord> records;
    const int last = highestLoaded();
    for (int i = 1; i <= last; ++i) {
        const Slot &s = slots_[i];
        if (!s.e.used || !s.loaded || isFinished(s.state))
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

// Owner-only: the list can hold FTP passwords. Nobody waits for the disk: a
// download that finishes while others are writing never freezes the window.
void ActiveTable::saveLater()
{
    listWriter()->saveLater(listPath(), listBytes(), true);
}

QString ActiveTable::saveNow()
{
    return listWriter()->saveNow(listPath(), listBytes(), true);
}

void ActiveTable::waitForSaves()
{
    listWriter()->flush();
}

std::shared_ptr<platform::FileWriter> ActiveTable::listWriter()
{
    if (!writer_) {
        writer_ = std::make_shared<platform::FileWriter>();
        connect(writer_.get(), &platform::FileWriter::failed, this, &ActiveTable::listSaveFailed);
    }
    return writer_;
}

void ActiveTable::load()
{
    if (!QFile::exists(listPath()))
        return;
    const ListLoad load = loadListFile(listPath(), ListKind::Active);
    if (!load.logLine.isEmpty())
        emit logLine(load.logLine, 0x0000FF);
    for (const ListRecord &r : load.records) {
        DownloadEntry e;
        e.url = r.url;
        e.file = listTargetPath(r.file);
        e.size = r.size;
        e.position = r.position;
        e.resumable = r.resumable;
        e.ftpuser = r.ftpuser;
        e.ftppass = r.ftppass;
        e.remember = r.remember;
        add(e, false);
    }
    if (!load.error.isEmpty())
        emit listLoadFailed(load.error);
}
