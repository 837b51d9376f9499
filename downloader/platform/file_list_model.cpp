#include "platform/file_list_model.h"

#include <QDateTime>
#include <QFileSystemModel>
#include <QLocale>

using namespace Qt::StringLiterals;

namespace platform {
namespace {
// QFileSystemModel's columns.
constexpr int kSizeColumn = 1;
constexpr int kTypeColumn = 2;
constexpr int kDateColumn = 3;
} // namespace

void FileListModel::setProgramsOnly(bool on)
{
    programsOnly_ = on;
    invalidateFilter();
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
    if (role != Qt::DisplayRole || !files)
        return QSortFilterProxyModel::data(index, role);
    const QModelIndex source = mapToSource(index);
    if (index.column() == kTypeColumn && files->isDir(source))
        return u"Carpeta"_s;
    if (index.column() == kDateColumn)
        return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
    return QSortFilterProxyModel::data(index, role);
}

bool FileListModel::filterAcceptsRow(int row, const QModelIndex &parent) const
{
    const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
    if (!programsOnly_ || !files)
        return true;
    const QFileInfo info = files->fileInfo(files->index(row, 0, parent));
    return info.isDir() || (info.isFile() && info.isExecutable());
}

} // namespace platform

namespace platform {

bool FileListModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
    if (!files)
        return QSortFilterProxyModel::lessThan(left, right);
    const bool leftDir = files->isDir(left);
    if (leftDir != files->isDir(right))
        return sortOrder() == Qt::AscendingOrder ? leftDir : !leftDir;
    switch (left.column()) {
    case kSizeColumn:
        if (files->size(left) != files->size(right))
            return files->size(left) < files->size(right);
        break;
    case kDateColumn:
        if (files->lastModified(left) != files->lastModified(right))
            return files->lastModified(left) < files->lastModified(right);
        break;
    default:
        break;
    }
    return QString::localeAwareCompare(files->fileName(left), files->fileName(right)) < 0;
}

} // namespace platform
