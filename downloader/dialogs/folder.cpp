#include "dialogs/folder.h"

#include "platform/prompts.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

using namespace Qt::StringLiterals;

namespace {

constexpr int kPathRole = Qt::UserRole;

QString internalForm(const QString &path)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(path));
}

QString withSlash(const QString &path)
{
    return path.endsWith(u'/') ? path : QString(path + u'/');
}

bool samePath(const QString &a, const QString &b)
{
#ifdef Q_OS_WIN
    return a.compare(b, Qt::CaseInsensitive) == 0;
#else
    return a == b;
#endif
}

} // namespace

folder::folder(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"folder"_s);
    setWindowTitle(u"Carpeta"_s);

    drive_ = new QComboBox(this);
    drive_->setObjectName(u"drive"_s);
    current_ = new QLabel(this);
    current_->setObjectName(u"current"_s);
    current_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    dir_ = new QListWidget(this);
    dir_->setObjectName(u"dir"_s);
    acept_ = new QPushButton(u"Aceptar"_s, this);
    acept_->setObjectName(u"acept"_s);
    acept_->setDefault(true);
    newfolder_ = new QToolButton(this);
    newfolder_->setObjectName(u"newfolder"_s);
    newfolder_->setToolTip(u"Nueva carpeta"_s);
    newfolder_->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));

    auto *top = new QHBoxLayout;
    top->addWidget(drive_, 1);
    top->addWidget(newfolder_);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(acept_);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(current_);
    layout->addWidget(dir_, 1);
    layout->addLayout(buttons);

    for (const QString &root : drives())
        drive_->addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), root, internalForm(root));

    connect(drive_, &QComboBox::activated, this, &folder::driveChosen);
    connect(dir_, &QListWidget::itemActivated, this, &folder::itemActivated);
    connect(acept_, &QPushButton::clicked, this, &QDialog::accept);
    connect(newfolder_, &QToolButton::clicked, this, &folder::askNewFolder);

    setPath(QDir::homePath());
}

folder::~folder() = default;

QStringList folder::drives()
{
    QStringList roots;
    QStringList seen;
    const auto add = [&](const QString &root) {
        const QString key = internalForm(root);
        if (key.isEmpty())
            return;
        for (const QString &s : std::as_const(seen))
            if (samePath(s, key))
                return;
        seen << key;
        roots << QDir::toNativeSeparators(key);
    };
    for (const QFileInfo &drive : QDir::drives())
        add(drive.absolutePath());
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady())
            add(volume.rootPath());
    return roots;
}

QString folder::childPath(const QString &parent, const QString &name)
{
    return QDir::toNativeSeparators(withSlash(QDir::fromNativeSeparators(parent)) + name);
}

QString folder::path() const
{
    return QDir::toNativeSeparators(path_);
}

void folder::setPath(const QString &path)
{
    QString wanted = internalForm(path);
    if (wanted.isEmpty())
        wanted = path_.isEmpty() ? QDir::homePath() : path_;
    wanted = QFileInfo(wanted).absoluteFilePath();
    while (!QFileInfo(wanted).isDir()) {
        const QString up = QFileInfo(wanted).path();
        if (samePath(up, wanted)) {
            wanted = QDir::rootPath();
            break;
        }
        wanted = up;
    }
    path_ = QDir::cleanPath(wanted);
    refresh();
}

void folder::refresh()
{
    dir_->clear();
    const QDir here(path_);
    if (!here.isRoot()) {
        auto *up = new QListWidgetItem(style()->standardIcon(QStyle::SP_FileDialogToParent), u".."_s, dir_);
        up->setData(kPathRole, QFileInfo(path_).path());
    }
    const QStringList names = here.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString &name : names) {
        auto *item = new QListWidgetItem(style()->standardIcon(QStyle::SP_DirIcon), name, dir_);
        item->setData(kPathRole, QString(withSlash(path_) + name));
    }
    current_->setText(path());
    selectDrive();
}

// The drive shown is the longest root the current folder lies under.
void folder::selectDrive()
{
    int best = -1;
    qsizetype bestLength = -1;
    const QString here = withSlash(path_);
    for (int i = 0; i < drive_->count(); ++i) {
        const QString root = withSlash(drive_->itemData(i).toString());
#ifdef Q_OS_WIN
        const bool under = here.startsWith(root, Qt::CaseInsensitive);
#else
        const bool under = here.startsWith(root);
#endif
        if (under && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    const QSignalBlocker block(drive_);
    drive_->setCurrentIndex(best);
}

void folder::driveChosen(int index)
{
    setPath(drive_->itemData(index).toString());
}

void folder::itemActivated(QListWidgetItem *item)
{
    if (item)
        setPath(item->data(kPathRole).toString());
}

void folder::askNewFolder()
{
    const QString name = platform::prompts().input(u"Escriba el nombre de la nueva carpeta"_s, {}, u"Nueva Carpeta"_s);
    if (name.isEmpty())
        return;
    if (!createFolder(name).isEmpty())
        refresh();
}

QString folder::createFolder(const QString &name)
{
    const QString target = childPath(path_, name);
    const auto refuse = [&target](const QString &why) {
        platform::prompts().message(u"No se ha podido crear la carpeta:\r\n"_s + target + u"\r\n"_s + why,
                                    platform::Icon::Critical);
        return QString();
    };
    // A separator or a dot name would make the folder somewhere else than here.
    if (name == u"."_s || name == u".."_s || name.contains(u'/') || name.contains(u'\\') || name.contains(QChar(0)))
        return refuse(u"El nombre no puede contener separadores de carpeta ni ser \".\" o \"..\"."_s);
    if (QFileInfo::exists(target))
        return refuse(u"Ya existe un archivo o una carpeta con ese nombre."_s);

    std::error_code error;
    if (std::filesystem::create_directory(QFileInfo(target).filesystemAbsoluteFilePath(), error))
        return target;
    if (error == std::errc::permission_denied || error == std::errc::read_only_file_system
        || error == std::errc::operation_not_permitted)
        return refuse(u"No se puede escribir en esta carpeta."_s);
    if (error == std::errc::filename_too_long)
        return refuse(u"El nombre es demasiado largo."_s);
    return refuse(u"El sistema de archivos no admite ese nombre: "_s + QString::fromLocal8Bit(error.message()));
}

void folder::setUnloading(std::function<bool()> unloading)
{
    unloading_ = std::move(unloading);
}

QString folder::choose(const QString &startFolder)
{
    folder dialog;
    dialog.setPath(startFolder);
    if (platform::prompts().execDialog(dialog) != QDialog::Accepted)
        return {};
    return dialog.path();
}

void folder::closeEvent(QCloseEvent *event)
{
    // The window lives until the program ends; before that, closing hides it.
    if (unloading_ && !unloading_()) {
        reject();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
