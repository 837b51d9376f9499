#include "core/list_load.h"

#include "core/atomic_file.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

ListLoad loadListFile(const QString &path, ListKind kind)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ListLoad unread;
        unread.error = file.errorString();
        return unread;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    ListLoad load = decodeListFile(bytes, kind);
    if (load.error.isEmpty())
        return load;
    const QString backup = path + u".bak"_s;
    QString error;
    // Owner-only, as the list itself: it can hold FTP passwords.
    if (platform::saveFileAtomically(backup, bytes, &error, true)) {
        load.logLine = u"La lista %1 está dañada; se ha guardado una copia en %2."_s.arg(
            QDir::toNativeSeparators(path), QDir::toNativeSeparators(backup));
        load.error += u". Se ha guardado una copia en "_s + QDir::toNativeSeparators(backup);
    } else {
        load.error += u". No se ha podido guardar una copia en "_s + QDir::toNativeSeparators(backup) + u": "_s + error;
    }
    return load;
}
