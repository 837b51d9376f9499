#pragma once

#include "platform/prompts.h"
#include "platform/shell.h"
#include "platform/sound.h"

#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <functional>

namespace testing {

// Records every question the program asks and answers from queues; nothing
// modal ever opens. Unanswered questions get "No", "" or a rejected dialog.
class ScriptedPrompts final : public platform::Prompts {
public:
    struct Asked {
        QString kind; // message, question, input, open, program, save, folder, dialog, notice
        QString text;
        QString caption;
        platform::Icon icon = platform::Icon::None;
        QString extra; // default text, preset name, picture path
    };

    ScriptedPrompts();
    ~ScriptedPrompts() override;

    QList<Asked> asked;
    QQueue<bool> yesNo;
    QQueue<QString> texts; // input boxes and file/folder dialogs
    QQueue<std::function<int(QDialog &)>> dialogs;

    QStringList messages() const; // texts of the message boxes, in order
    QStringList notices() const;
    int count(const QString &kind) const;

    void message(const QString &text, platform::Icon icon, const QString &caption) override;
    bool question(const QString &text, const QString &caption) override;
    QString input(const QString &prompt, const QString &defaultText, const QString &caption) override;
    QString openFile(const QString &presetName, const QString &defaultSuffix, const QString &caption) override;
    QString saveFile(const QString &presetName, const QString &defaultSuffix, const QString &caption) override;
    QString openProgram(const QString &caption) override;
    QString chooseFolder(const QString &startFolder, const QString &caption) override;
    int execDialog(QDialog &dialog) override;
    void notice(const QString &text, const QString &picturePath) override;

private:
    QString nextText();
};

class RecordingSound final : public platform::Sound {
public:
    RecordingSound();
    ~RecordingSound() override;
    QStringList played;
    void play(const QString &path) override { played << path; }
};

class RecordingShell final : public platform::Shell {
public:
    RecordingShell();
    ~RecordingShell() override;
    QStringList opened;
    bool opens = true;          // false: the desktop has nothing to open a document with
    QList<QStringList> started; // program followed by its arguments
    int powerOffs = 0;
    bool open(const QString &path) override;
    bool start(const QString &program, const QStringList &arguments) override;
    bool powerOff() override;
};

} // namespace testing
