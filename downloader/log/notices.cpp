#include "log/notices.h"

#include "platform/program_folder.h"
#include "platform/prompts.h"
#include "platform/shell.h"
#include "platform/sound.h"
#include "settings/cfg.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

QString msgFile(const QString &name)
{
    return platform::programFile(u"msg"_s) + QDir::separator() + name;
}

void ShowNotice(const QString &text, const QString &picture)
{
    platform::prompts().notice(text, picture.isEmpty() ? msgFile(u"error.gif"_s) : picture);
}

void PlayNoticeSound(const QString &path)
{
    const cfg *settings = cfg::instance();
    if (settings && !settings->wavs())
        return;
    if (QFileInfo::exists(path))
        platform::sound().play(path);
}

void ShellOpen(const QString &path)
{
    platform::shell().open(path);
}
