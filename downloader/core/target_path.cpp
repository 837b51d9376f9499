#include "core/target_path.h"

#include "core/program_folder.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

QString sameFileKey(const QString &file)
{
    return QDir::cleanPath(QFileInfo(file).absoluteFilePath());
}

QString listTargetPath(const QString &file)
{
    if (file.isEmpty() || !QFileInfo(file).isRelative())
        return file;
    return QDir::toNativeSeparators(QDir::cleanPath(QDir(platform::programFolder()).absoluteFilePath(file)));
}
