#pragma once

#include "core/download_entry.h"
#include "core/queue_hooks.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <memory>

class ActiveTable;
namespace platform {
class FileWriter;
}

// The download queue without any window: paused downloads, downloads that
// found the active table full, and those left queued at the last exit. 41
// slots (slot 0 is never a download); nothing here is transferred. It feeds
// its active table, and saves inactivas.dwn with the writer that table uses,
// so a move between them reaches the disk receiving list first.
class QueueTable : public QObject, public QueueHooks {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QueueTable)
public:
    static constexpr int kSlots = 41;

    explicit QueueTable(QObject *parent = nullptr);
    ~QueueTable() override;

    // The active table this queue feeds; it also becomes that table's queue.
    void setActive(ActiveTable *active);

    // QueueHooks. addnew refuses (and refused() tells why) a file another
    // download writes, or a full queue.
    int loadedRows() const override;
    bool addnew(const QString &url, const QString &file, qint64 size, qint64 position, bool resumable, qint32 elapsed,
                bool nosave, const QString &ftpuser, const QString &ftppass, bool remember, bool locked) override;
    void noteWritten(const QString &file, qint64 written) override;
    void toactivas() override;
    bool holdsTarget(const QString &file) const override;
    QString writeListNow() override;

    enum class Refusal { TargetTaken, Full };

    bool existe(int i) const { return i > 0 && i < kSlots && entries_[i].used; }
    const DownloadEntry &entry(int i) const;
    int highestLoaded() const;
    // Copies the entry to the active table; false when it was refused there.
    bool moveToActive(int i);
    // Moves the entry to the active table and, once taken there, drops it here.
    bool resume(int i);
    // Removes the entry; deleteFile also deletes its partial file, once the
    // list no longer names it.
    void remove(int i, bool deleteFile);
    void setLocked(int i, bool locked);

    void saveLater();
    void waitForSaves(); // every save asked for is on disk
    void load();

signals:
    void entryAdded(int i);
    void entryRemoved(int i);
    void entryChanged(int i);
    void resumed(const QString &file); // handed to the active table
    void refused(const QString &file, QueueTable::Refusal why);
    void logLine(const QString &text, quint32 color); // text without the leading line break
    void listSaveFailed(const QString &error);
    void listLoadFailed(const QString &error);

private:
    QByteArray listBytes() const;
    platform::FileWriter &writer();

    std::array<DownloadEntry, kSlots> entries_;
    int moving_ = 0; // the entry being handed to the active table, 0 for none
    QPointer<ActiveTable> active_;
    std::shared_ptr<platform::FileWriter> writer_; // the active table's, once it is known
};
