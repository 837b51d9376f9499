#pragma once

#include <QString>

class QDialog;

namespace platform {

enum class Icon { None, Critical, Question, Exclamation, Information };

// Every modal question the program asks goes through here, so tests can
// answer from a script instead of blocking on a real window.
class Prompts {
public:
    virtual ~Prompts() = default;

    // A message box with one button. An empty caption means the program's title.
    virtual void message(const QString &text, Icon icon, const QString &caption = {}) = 0;
    // A Yes/No box with the question icon; true only for Yes.
    virtual bool question(const QString &text, const QString &caption = {}) = 0;
    // An input box; "" when cancelled, as the classic input box answers.
    virtual QString input(const QString &prompt, const QString &defaultText = {}, const QString &caption = {}) = 0;
    // File dialogs preset with a name and a default extension (without dot);
    // "" when cancelled.
    virtual QString openFile(const QString &presetName, const QString &defaultSuffix, const QString &caption = {}) = 0;
    virtual QString saveFile(const QString &presetName, const QString &defaultSuffix, const QString &caption = {}) = 0;
    // A program to run: the chooser offers executable files first, and all
    // files; "" when cancelled.
    virtual QString openProgram(const QString &caption = {}) { return openFile(QString(), QString(), caption); }
    // A folder chooser; "" when cancelled.
    virtual QString chooseFolder(const QString &startFolder, const QString &caption = {}) = 0;
    // Shows one of the program's own dialogs modally and returns its result code.
    virtual int execDialog(QDialog &dialog) = 0;
    // A notice window with a picture; it never blocks the caller.
    virtual void notice(const QString &text, const QString &picturePath) = 0;
};

Prompts &prompts();
// Installs another implementation (tests); nullptr puts the real one back.
void setPrompts(Prompts *replacement);

} // namespace platform
