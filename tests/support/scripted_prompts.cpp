#include "scripted_prompts.h"

#include <QDialog>

using namespace Qt::StringLiterals;

namespace testing {

ScriptedPrompts::ScriptedPrompts()
{
    platform::setPrompts(this);
}

ScriptedPrompts::~ScriptedPrompts()
{
    platform::setPrompts(nullptr);
}

QStringList ScriptedPrompts::messages() const
{
    QStringList out;
    for (const Asked &a : asked)
        if (a.kind == u"message"_s)
            out << a.text;
    return out;
}

QStringList ScriptedPrompts::notices() const
{
    QStringList out;
    for (const Asked &a : asked)
        if (a.kind == u"notice"_s)
            out << a.text;
    return out;
}

int ScriptedPrompts::count(const QString &kind) const
{
    int n = 0;
    for (const Asked &a : asked)
        n += a.kind == kind;
    return n;
}

QString ScriptedPrompts::nextText()
{
    return texts.isEmpty() ? QString() : texts.dequeue();
}

void ScriptedPrompts::message(const QString &text, platform::Icon icon, const QString &caption)
{
    asked.append({u"message"_s, text, caption, icon, {}});
}

bool ScriptedPrompts::question(const QString &text, const QString &caption)
{
    asked.append({u"question"_s, text, caption, platform::Icon::Question, {}});
    return yesNo.isEmpty() ? false : yesNo.dequeue();
}

QString ScriptedPrompts::input(const QString &prompt, const QString &defaultText, const QString &caption)
{
    asked.append({u"input"_s, prompt, caption, platform::Icon::None, defaultText});
    return nextText();
}

QString ScriptedPrompts::openFile(const QString &presetName, const QString &, const QString &caption)
{
    asked.append({u"open"_s, {}, caption, platform::Icon::None, presetName});
    return nextText();
}

QString ScriptedPrompts::openProgram(const QString &caption)
{
    asked.append({u"program"_s, {}, caption, platform::Icon::None, {}});
    return nextText();
}

QString ScriptedPrompts::saveFile(const QString &presetName, const QString &, const QString &caption)
{
    asked.append({u"save"_s, {}, caption, platform::Icon::None, presetName});
    return nextText();
}

QString ScriptedPrompts::chooseFolder(const QString &startFolder, const QString &caption)
{
    asked.append({u"folder"_s, {}, caption, platform::Icon::None, startFolder});
    return nextText();
}

int ScriptedPrompts::execDialog(QDialog &dialog)
{
    asked.append({u"dialog"_s, dialog.windowTitle(), {}, platform::Icon::None, dialog.objectName()});
    if (dialogs.isEmpty())
        return QDialog::Rejected;
    return dialogs.dequeue()(dialog);
}

void ScriptedPrompts::notice(const QString &text, const QString &picturePath)
{
    asked.append({u"notice"_s, text, {}, platform::Icon::None, picturePath});
}

RecordingSound::RecordingSound()
{
    platform::setSound(this);
}

RecordingSound::~RecordingSound()
{
    platform::setSound(nullptr);
}

RecordingShell::RecordingShell()
{
    platform::setShell(this);
}

RecordingShell::~RecordingShell()
{
    platform::setShell(nullptr);
}

bool RecordingShell::open(const QString &path)
{
    opened << path;
    return opens;
}

bool RecordingShell::start(const QString &program, const QStringList &arguments)
{
    started.append(QStringList{program} + arguments);
    return true;
}

bool RecordingShell::powerOff()
{
    ++powerOffs;
    return true;
}

} // namespace testing
