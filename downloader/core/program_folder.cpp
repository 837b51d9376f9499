#include "core/program_folder.h"

#include <QCoreApplication>
#include <QDir>

using namespace Qt::StringLiterals;

namespace platform {
namespace {
QString &overrideFolder()
{
    static QString folder;
    return folder;
}
} // namespace

QString programFolder()
{
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
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

} // namespace platform
