#include "log/notices.h"

#include "core/plain_text.h"
#include "core/program_folder.h"
#include "platform/prompts.h"
#include "platform/shell.h"
#include "platform/sound.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

QString msgFile(const QString &name)
{
    return platform::resourceFile(u"msg"_s + QDir::separator() + name);
}

void ShowNotice(const QString &text, const QString &picture)
{
    platform::prompts().notice(platform::escapeControls(text), picture.isEmpty() ? msgFile(u"error.gif"_s) : picture);
}

namespace {
std::function<bool()> &soundSwitch()
{
    static std::function<bool()> on;
    return on;
}
} // namespace

void setNoticeSoundSwitch(std::function<bool()> on)
{
    soundSwitch() = std::move(on);
}

void PlayNoticeSound(const QString &path)
{
    if (soundSwitch() && !soundSwitch()())
        return;
    if (QFileInfo::exists(path))
        platform::sound().play(path);
}

bool ShellOpen(const QString &path)
{
    return platform::shell().open(path);
}
