#pragma once

#include <QString>

#include <functional>

// A notice window with a text and a picture; an empty picture means the
// program's "msg/error.gif".
void ShowNotice(const QString &text, const QString &picture);
// Where the sound setting is read (the settings dialog installs it); without
// one, sounds are on.
void setNoticeSoundSwitch(std::function<bool()> on);
// Plays a sound when sounds are on and the file exists; returns at once.
void PlayNoticeSound(const QString &path);
// Opens a document, program or folder with the desktop's handler; false
// when the desktop has none to start.
bool ShellOpen(const QString &path);
// msg/name among the program's shipped files: the notices' pictures and sounds.
QString msgFile(const QString &name);
