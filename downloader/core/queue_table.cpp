#include "core/queue_table.h"

#include "core/active_table.h"
#include "core/file_writer.h"
#include "core/list_file.h"
#include "core/list_load.h"
#include "core/list_records.h"
#include "core/program_folder.h"
#include "core/target_path.h"

#include <QFile>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {
QString listPath()
{
    return platform::programFile(u"inactivas.dwn"_s);
}
} // namespace

QueueTable::QueueTable(QObject *parent) : QObject(parent) {}

QueueTable::~QueueTable()
{
    if (active_ && active_->queue() == this)
        active_->setQueue(nullptr);
}

void QueueTable::setActive(ActiveTable *active)
{
    active_ = active;
    if (active) {
        active->setQueue(this);
        // Saves asked of a writer of our own before are finished when it goes.
        writer_ = active->listWriter();
    }
}

const DownloadEntry &QueueTable::entry(int i) const
{
    if (i < 0 || i >= kSlots)
        throw std::out_of_range("queue slot out of range");
    return entries_[i];
}

int QueueTable::loadedRows() const
{
    int n = 1; // slot 0
    for (int i = 1; i < kSlots; ++i)
        n += entries_[i].used;
    return n;
}

int QueueTable::highestLoaded() const
{
    for (int i = kSlots - 1; i > 0; --i)
        if (entries_[i].used)
            return i;
    return 0;
}

// The entry being handed over is already the active table's: it must not
// block its own arrival there.
bool QueueTable::holdsTarget(const QString &file) const
{
    const QString wanted = sameFileKey(file);
    for (int i = 1; i < kSlots; ++i)
        if (i != moving_ && entries_[i].used && sameFileKey(entries_[i].file) == wanted)
            return true;
    return false;
}

void QueueTable::noteWritten(const QString &file, qint64 written)
{
    for (int i = 1; i < kSlots; ++i) {
        if (entries_[i].used && entries_[i].file == file) {
            entries_[i].written = written;
            emit entryChanged(i);
            return;
        }
    }
}

bool QueueTable::addnew(const QString &url, const QString &file, qint64 size, qint64 position, bool resumable,
                        qint32 elapsed, bool nosave, const QString &ftpuser, const QString &ftppass, bool remember,
                        bool locked)
{
    // The active table knows which of its rows a pause is handing over here;
    // any other download writing the same file, whatever its address, is refused.
    const bool taken = active_ ? active_->targetTaken(file) : holdsTarget(file);
    if (taken) {
        emit refused(file, Refusal::TargetTaken);
        return false;
    }
    int i = 1;
    while (i < kSlots && entries_[i].used)
        ++i;
    if (i >= kSlots) {
        emit refused(file, Refusal::Full);
        return false;
    }
    DownloadEntry &e = entries_[i];
    e = DownloadEntry();
    e.file = file;
    e.url = url;
    e.size = size;
    e.position = position;
    e.elapsed = elapsed;
    e.ftpuser = ftpuser;
    e.ftppass = ftppass;
    e.remember = remember;
    e.locked = locked;
    e.resumable = resumable;
    e.used = true;
    emit entryAdded(i);
    if (!nosave)
        saveLater();
    return true;
}

void QueueTable::remove(int i, bool deleteFile)
{
    if (!existe(i))
        return;
    const QString file = entries_[i].file;
    entries_[i].used = false;
    emit entryRemoved(i);
    saveLater();
    if (deleteFile && QFile::exists(file))
        QFile::remove(file);
}

void QueueTable::setLocked(int i, bool locked)
{
    if (!existe(i))
        return;
    entries_[i].locked = locked;
    emit entryChanged(i);
    saveLater();
}

// The active table saves its list as it takes the download, so the queue
// may drop it afterwards: a download is never missing from both files.
bool QueueTable::moveToActive(int i)
{
    if (!active_ || !existe(i))
        return false;
    const DownloadEntry e = entries_[i];
    const int outer = moving_;
    moving_ = i;
    const bool moved = active_->add(e).slot > 0;
    moving_ = outer;
    return moved;
}

bool QueueTable::resume(int i)
{
    const QString file = entries_[i].file;
    if (!moveToActive(i))
        return false;
    entries_[i].used = false;
    emit entryRemoved(i);
    emit resumed(file);
    // Left unsaved, the queue file would still list a download that is running.
    saveLater();
    return true;
}

void QueueTable::toactivas()
{
    int next = 0;
    for (int i = 1; i <= highestLoaded() && next == 0; ++i)
        if (entries_[i].used && !entries_[i].locked)
            next = i;
    if (next == 0) {
        saveLater();
        return;
    }
    resume(next);
}

QByteArray QueueTable::listBytes() const
{
    QList<ListRecord> records;
    const int last = highestLoaded();
    for (int i = 1; i <= last; ++i) {
        if (entries_[i].used)
            records << toRecord(entries_[i]);
    }
    return encodeListFile(records, ListKind::Inactive);
}

// Owner-only: the list can hold FTP passwords. Nobody waits for the disk.
void QueueTable::saveLater()
{
    writer().saveLater(listPath(), listBytes(), true);
}

void QueueTable::waitForSaves()
{
    writer().flush();
}

QString QueueTable::writeListNow()
{
    return writer().saveNow(listPath(), listBytes(), true);
}

platform::FileWriter &QueueTable::writer()
{
    if (!writer_) {
        writer_ = std::make_shared<platform::FileWriter>();
        connect(writer_.get(), &platform::FileWriter::failed, this, &QueueTable::listSaveFailed);
    }
    return *writer_;
}

void QueueTable::load()
{
    if (!QFile::exists(listPath()))
        return;
    const ListLoad load = loadListFile(listPath(), ListKind::Inactive);
    if (!load.logLine.isEmpty())
        emit logLine(load.logLine, 0x0000FF);
    for (const ListRecord &r : load.records) {
        const DownloadEntry e = fromRecord(r);
        addnew(e.url, e.file, e.size, e.position, e.resumable, e.elapsed, true, e.ftpuser, e.ftppass, e.remember,
               e.locked);
    }
    if (!load.error.isEmpty())
        emit listLoadFailed(load.error);
}
