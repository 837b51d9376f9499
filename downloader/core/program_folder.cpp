#include "core/program_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace platform {
namespace {
QString &overrideFolder()
{
    static QString folder;
    return folder;
}

QString executableFolder()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

// An installed copy keeps its shipped files under ../share/tandrel; only a
// build or unpacked folder has them beside the executable.
QString installedShareFolder(const QString &exeFolder)
{
    return QDir::cleanPath(exeFolder + u"/../share/tandrel"_s);
}

bool isInstalledCopy(const QString &exeFolder)
{
    return !QFileInfo::exists(exeFolder + u"/msg"_s) && QFileInfo(installedShareFolder(exeFolder)).isDir();
}

bool canWrite(const QString &folder)
{
#ifdef Q_OS_UNIX
    // access() also answers for a read-only mount, which permission bits do not show.
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
#else
    return QFileInfo(folder).isWritable();
#endif
}

// Each missing level is made owner-only: the folders hold the user's
// addresses and the lock other copies trust.
bool makeOwnerOnlyPath(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    if (info.exists())
        return false;
    const QString parent = QFileInfo(QDir::cleanPath(path)).path();
    if (parent != path && !makeOwnerOnlyPath(parent))
        return false;
    return QDir().mkdir(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) || QFileInfo(path).isDir();
}

const DataFolder &chosenDataFolder()
{
    static const DataFolder chosen =
        chooseDataFolder(executableFolder(), qEnvironmentVariable("XDG_DATA_HOME"), QDir::homePath());
    return chosen;
}
} // namespace

DataFolder chooseDataFolder(const QString &exeFolder, const QString &xdgDataHome, const QString &home)
{
    DataFolder d;
    if (!isInstalledCopy(exeFolder) && canWrite(exeFolder)) {
        d.path = exeFolder;
        return d;
    }
    d.besideProgram = false;
    const QString base = QDir::isAbsolutePath(xdgDataHome) ? xdgDataHome : home + u"/.local/share"_s;
    d.path = QDir::toNativeSeparators(QDir::cleanPath(base + u"/tandrel"_s));
    if (!makeOwnerOnlyPath(d.path))
        d.error = u"No se ha podido crear la carpeta de datos "_s + d.path;
    return d;
}

QString programFolder()
{
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    return chosenDataFolder().path;
}

void setProgramFolder(const QString &folder)
{
    QString f = folder;
    while (f.size() > 1 && (f.endsWith(u'/') || f.endsWith(QDir::separator())))
        f.chop(1);
    overrideFolder() = f;
}

QString programFile(const QString &name)
{
    return withTrailingSeparator(programFolder()) + name;
}

QString resourceFile(const QString &name)
{
    const QString exe = executableFolder();
    return findResource(overrideFolder().isEmpty() ? exe : overrideFolder(), exe, name);
}

QString findResource(const QString &besideFolder, const QString &exeFolder, const QString &name)
{
    const QString beside = withTrailingSeparator(besideFolder) + name;
    if (QFileInfo::exists(beside))
        return beside;
    const QString installed =
        QDir::toNativeSeparators(installedShareFolder(exeFolder) + u'/' + QDir::fromNativeSeparators(name));
    return QFileInfo::exists(installed) ? installed : beside;
}

QString withTrailingSeparator(const QString &folder)
{
    if (folder.endsWith(QDir::separator()))
        return folder;
    return folder + QDir::separator();
}

QString programTitle()
{
    return u"Tandrel"_s;
}

QString defaultDownloadFolder(const QString &dataFolder)
{
    // A copy whose data lives in the user's hidden data folder saves into
    // the desktop's downloads folder, where the user looks for files.
    const bool hidden = overrideFolder().isEmpty() && !chosenDataFolder().besideProgram
                        && QDir::cleanPath(dataFolder) == QDir::cleanPath(chosenDataFolder().path);
    const QString desktop = hidden ? QStandardPaths::writableLocation(QStandardPaths::DownloadLocation) : QString();
    const QString folder =
        desktop.isEmpty() ? withTrailingSeparator(dataFolder) + u"download"_s : QDir::toNativeSeparators(desktop);
    return withTrailingSeparator(folder);
}

QString dataFolderNote(bool *failed)
{
    if (!overrideFolder().isEmpty())
        return {};
    const DataFolder &d = chosenDataFolder();
    if (failed)
        *failed = !d.error.isEmpty();
    if (!d.error.isEmpty())
        return d.error;
    return d.besideProgram ? QString() : u"Los datos se guardan en "_s + d.path;
}

} // namespace platform
