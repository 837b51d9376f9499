#pragma once

#include <QSortFilterProxyModel>

namespace platform {

// What the toolkit's own file chooser lists, in the program's language: dates
// in the default locale (the system's may be another), folders as "Carpeta".
// With programsOnly, only folders and files the user may run are listed.
class FileListModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setProgramsOnly(bool on);
    QVariant data(const QModelIndex &index, int role) const override;

protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override;
    // Folders first, then by the column's own value, as the chooser sorts
    // without this model.
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    bool programsOnly_ = false;
};

} // namespace platform
