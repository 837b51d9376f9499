#pragma once

#include <QString>

// What the active window needs of the download queue.
class QueueHooks {
public:
    virtual ~QueueHooks() = default;
    // Rows loaded in the queue window, its template row included.
    virtual int loadedRows() const = 0;
    // Queues a download; false when it was refused (and told), nothing stored.
    virtual bool addnew(const QString &url, const QString &file, qint64 size, qint64 position, bool resumable,
                        qint32 elapsed, bool nosave, const QString &ftpuser, const QString &ftppass, bool remember,
                        bool locked) = 0;
    // The bytes a download over several connections has on disk, counting
    // ranges past its position, for its queued row to show them; the list
    // file keeps only the position.
    virtual void noteWritten(const QString &file, qint64 written)
    {
        Q_UNUSED(file);
        Q_UNUSED(written);
    }
    // Promotes the next unlocked queued download to the active table.
    virtual void toactivas() = 0;
    // A queued download already has this target file.
    virtual bool holdsTarget(const QString &file) const = 0;
    // Saves inactivas.dwn now; returns the error, "" on success (no box).
    virtual QString writeListNow() = 0;
};
