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

QString targetTakenText(const QString &file)
{
    return u"No se ha podido agregar el archivo:\r\nEl archivo "_s + file + u" ya es el destino de otra descarga."_s;
}
