#include "platform/qt_prompts.h"

#include "core/program_folder.h"
#include "platform/desktop_notices.h"
#include "platform/file_list_model.h"
#include "platform/termination.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace platform {
namespace {
QString captionOr(const QString &caption)
{
    return caption.isEmpty() ? programTitle() : caption;
}

QMessageBox::Icon boxIcon(Icon icon)
{
    switch (icon) {
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::Exclamation:
        return QMessageBox::Warning;
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QWidget *parentWindow()
{
    return QApplication::activeWindow();
}

// The file dialogs take a preset such as "*.exe" as a filter, anything else as a name.
void preset(QFileDialog &dialog, const QString &presetName, const QString &defaultSuffix)
{
    if (presetName.startsWith(u'*')) {
        dialog.setNameFilter(presetName);
    } else if (!presetName.isEmpty()) {
        QFileInfo info(presetName);
        if (info.isAbsolute())
            dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    }
    dialog.setDefaultSuffix(defaultSuffix);
}

QString runFileDialog(QFileDialog::AcceptMode mode, const QString &presetName, const QString &suffix,
                      const QString &caption)
{
    if (programEnding())
        return {};
    QFileDialog dialog(parentWindow(), captionOr(caption));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setProxyModel(new FileListModel(&dialog));
    preset(dialog, presetName, suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}
} // namespace

// Once the program is ending no box may open: it would hold the exit.
void QtPrompts::message(const QString &text, Icon icon, const QString &caption)
{
    if (programEnding())
        return;
    QMessageBox box(boxIcon(icon), captionOr(caption), text, QMessageBox::Ok, parentWindow());
    box.button(QMessageBox::Ok)->setText(u"&Aceptar"_s);
    box.exec();
}

bool QtPrompts::question(const QString &text, const QString &caption)
{
    if (programEnding())
        return false;
    QMessageBox box(QMessageBox::Question, captionOr(caption), text, QMessageBox::Yes | QMessageBox::No,
                    parentWindow());
    // Spanish whether or not Qt's own translation is installed.
    box.button(QMessageBox::Yes)->setText(u"&Sí"_s);
    box.button(QMessageBox::No)->setText(u"&No"_s);
    return box.exec() == QMessageBox::Yes;
}

QString QtPrompts::input(const QString &prompt, const QString &defaultText, const QString &caption)
{
    if (programEnding())
        return {};
    bool ok = false;
    const QString answer =
        QInputDialog::getText(parentWindow(), captionOr(caption), prompt, QLineEdit::Normal, defaultText, &ok);
    return ok ? answer : QString();
}

QString QtPrompts::openFile(const QString &presetName, const QString &defaultSuffix, const QString &caption)
{
    return runFileDialog(QFileDialog::AcceptOpen, presetName, defaultSuffix, caption);
}

QString QtPrompts::openProgram(const QString &caption)
{
    if (programEnding())
        return {};
    const QString programs = u"Programas (*)"_s;
    QFileDialog dialog(parentWindow(), captionOr(caption));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Only the toolkit's own chooser can tell executable files apart.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters({programs, u"Todos los archivos (*)"_s});
    auto *files = new FileListModel(&dialog);
    files->setProgramsOnly(true);
    dialog.setProxyModel(files);
    QObject::connect(&dialog, &QFileDialog::filterSelected, files,
                     [files, programs](const QString &chosen) { files->setProgramsOnly(chosen == programs); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

QString QtPrompts::saveFile(const QString &presetName, const QString &defaultSuffix, const QString &caption)
{
    return runFileDialog(QFileDialog::AcceptSave, presetName, defaultSuffix, caption);
}

namespace {
std::function<QString(const QString &)> &folderChooser()
{
    static std::function<QString(const QString &)> chooser;
    return chooser;
}
} // namespace

void setFolderChooser(std::function<QString(const QString &startFolder)> chooser)
{
    folderChooser() = std::move(chooser);
}

QString QtPrompts::chooseFolder(const QString &startFolder, const QString &caption)
{
    if (programEnding())
        return {};
    if (folderChooser())
        return folderChooser()(startFolder);
    const QString folder = QFileDialog::getExistingDirectory(parentWindow(), captionOr(caption), startFolder);
    return QDir::toNativeSeparators(folder);
}

int QtPrompts::execDialog(QDialog &dialog)
{
    if (programEnding())
        return QDialog::Rejected;
    return dialog.exec();
}

void QtPrompts::notice(const QString &text, const QString &picturePath)
{
    // Non-modal: a notice must not hold up the transfers that raised it. With
    // a modal window open (the link window), it belongs to that window, or
    // the modal window would keep its Aceptar from the user.
    auto *box =
        new QMessageBox(QMessageBox::NoIcon, programTitle(), text, QMessageBox::Ok, QApplication::activeModalWidget());
    box->setAttribute(Qt::WA_DeleteOnClose);
    // It pops up on its own: keys the user is typing elsewhere stay there.
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setModal(false);
    box->button(QMessageBox::Ok)->setText(u"&Aceptar"_s);
    QPixmap picture(picturePath);
    if (!picture.isNull())
        box->setIconPixmap(picture);
    else
        box->setIcon(QMessageBox::Information);
    box->show();
    // A window out of sight shows nothing: the desktop says it instead.
    desktopNotices().forward(text);
}

namespace {
Prompts *&current()
{
    static Prompts *p = nullptr;
    return p;
}
} // namespace

Prompts &prompts()
{
    static QtPrompts real;
    return current() ? *current() : real;
}

void setPrompts(Prompts *replacement)
{
    current() = replacement;
}

} // namespace platform
