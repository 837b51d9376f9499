#pragma once

#include <QString>

// A notice window with a text and a picture; an empty picture means the
// program's "msg/error.gif".
void ShowNotice(const QString &text, const QString &picture);
// Plays a sound when sounds are on and the file exists; returns at once.
void PlayNoticeSound(const QString &path);
// Opens a document, program or folder with the desktop's handler.
void ShellOpen(const QString &path);
// programFolder/msg/name: the notices' pictures and sounds.
QString msgFile(const QString &name);
