#pragma once

#include <QMutex>
#include <QSet>
#include <QString>

// The target files of downloads that ran with the browser's session. The
// session itself is never stored, so after a restart such a download goes on
// without it; the mark survives, so that a refusal can tell the user to fetch
// the link again from the browser instead of blaming the server alone.
// Stored one file a line in its own file, never in the list files.
class BrowserMarks {
public:
    // Reads the marks kept in path and keeps them there from now on; until
    // then (and with an empty path) they live in memory only.
    void keepIn(const QString &path);
    void mark(const QString &file);
    void unmark(const QString &file);
    bool has(const QString &file) const;

private:
    void saveLocked() const;

    mutable QMutex lock_;
    QString path_;
    QSet<QString> files_; // sameFileKey of each target
};
BrowserMarks &browserMarks();

// The marks' file text: one file a line; a name with a line break in it
// cannot be told apart from two, and is left out.
QByteArray encodeBrowserMarks(const QSet<QString> &files);
QSet<QString> decodeBrowserMarks(const QByteArray &bytes);
