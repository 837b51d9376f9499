#include "core/browser_marks.h"

#include "core/atomic_file.h"
#include "core/target_path.h"

#include <QFile>
#include <QStringList>

#include <algorithm>

using namespace Qt::StringLiterals;

QByteArray encodeBrowserMarks(const QSet<QString> &files)
{
    QStringList lines;
    for (const QString &file : files) {
        if (!file.isEmpty() && !file.contains(u'\n') && !file.contains(u'\r'))
            lines << file;
    }
    std::sort(lines.begin(), lines.end()); // the same marks, the same bytes
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toUtf8() + '\n';
    return bytes;
}

QSet<QString> decodeBrowserMarks(const QByteArray &bytes)
{
    QSet<QString> files;
    for (const QByteArray &line : bytes.split('\n')) {
        const QByteArray file = line.endsWith('\r') ? line.chopped(1) : line;
        if (!file.isEmpty())
            files.insert(QString::fromUtf8(file));
    }
    return files;
}

void BrowserMarks::keepIn(const QString &path)
{
    const QMutexLocker lock(&lock_);
    path_ = path;
    files_.clear();
    QFile f(path);
    if (!path.isEmpty() && f.open(QIODevice::ReadOnly))
        files_ = decodeBrowserMarks(f.readAll());
}

void BrowserMarks::mark(const QString &file)
{
    if (file.isEmpty())
        return;
    const QMutexLocker lock(&lock_);
    const QString key = sameFileKey(file);
    if (files_.contains(key))
        return;
    files_.insert(key);
    saveLocked();
}

void BrowserMarks::unmark(const QString &file)
{
    const QMutexLocker lock(&lock_);
    if (files_.remove(sameFileKey(file)))
        saveLocked();
}

bool BrowserMarks::has(const QString &file) const
{
    const QMutexLocker lock(&lock_);
    return files_.contains(sameFileKey(file));
}

// A lost save costs only the wording of a later refusal: nobody is told.
void BrowserMarks::saveLocked() const
{
    if (path_.isEmpty())
        return;
    QString error;
    if (files_.isEmpty())
        QFile::remove(path_);
    else
        platform::saveFileAtomically(path_, encodeBrowserMarks(files_), &error, true);
}

BrowserMarks &browserMarks()
{
    static BrowserMarks instance;
    return instance;
}
