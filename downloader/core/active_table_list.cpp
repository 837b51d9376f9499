// activas.dwn: the active downloads that survive a restart.
#include "core/active_table.h"

#include "core/browser_marks.h"
#include "core/file_writer.h"
#include "core/list_file.h"
#include "core/list_load.h"
#include "core/list_records.h"
#include "core/program_folder.h"

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
        records << toRecord(s.e);
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
    // Beside the list whose downloads they mark.
    browserMarks().keepIn(platform::programFile(u"sesiones.lst"_s));
    if (!QFile::exists(listPath()))
        return;
    const ListLoad load = loadListFile(listPath(), ListKind::Active);
    if (!load.logLine.isEmpty())
        emit logLine(say(Message::Id::Said, {load.logLine}), 0x0000FF);
    for (const ListRecord &r : load.records) {
        DownloadEntry e = fromRecord(r);
        e.elapsed = 0; // an active download counts its time again from its restart
        add(e, false);
    }
    if (!load.error.isEmpty())
        emit listLoadFailed(load.error);
}
