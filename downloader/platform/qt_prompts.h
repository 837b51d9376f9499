#pragma once

#include "platform/prompts.h"

#include <functional>

namespace platform {

// The real dialogs.
class QtPrompts final : public Prompts {
public:
    void message(const QString &text, Icon icon, const QString &caption) override;
    bool question(const QString &text, const QString &caption) override;
    QString input(const QString &prompt, const QString &defaultText, const QString &caption) override;
    QString openFile(const QString &presetName, const QString &defaultSuffix, const QString &caption) override;
    QString openProgram(const QString &caption) override;
    QString saveFile(const QString &presetName, const QString &defaultSuffix, const QString &caption) override;
    QString chooseFolder(const QString &startFolder, const QString &caption) override;
    int execDialog(QDialog &dialog) override;
    void notice(const QString &text, const QString &picturePath) override;
};

// The program's own folder window, used by chooseFolder instead of the
// desktop's dialog once installed.
void setFolderChooser(std::function<QString(const QString &startFolder)> chooser);

} // namespace platform
