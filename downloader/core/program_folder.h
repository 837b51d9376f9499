#pragma once

#include <QString>

namespace platform {

// The folder the program keeps its data files in (settings, lists, window
// state, log, the single-instance lock): the executable's folder when it can
// be written and the program is not an installed copy, otherwise the user's
// data folder; a test may point it elsewhere. Chosen once per run.
QString programFolder();
void setProgramFolder(const QString &folder);

// programFolder() + separator + name.
QString programFile(const QString &name);

// A file the build ships with the program (msg/..., help.html, inicio.html):
// beside the executable (or in the folder a test set), else in the installed
// share/tandrel beside its bin/. When found in neither, the path beside the
// program, so a message names where it was looked for.
QString resourceFile(const QString &name);
// The same lookup for a given folder beside which it looks first and a given
// executable's folder.
QString findResource(const QString &besideFolder, const QString &exeFolder, const QString &name);

// The folder with the native separator at its end (added only when missing).
QString withTrailingSeparator(const QString &folder);

// The program's title, used as the caption of its message boxes.
QString programTitle();

// Where the data files go, and why.
struct DataFolder {
    QString path;
    bool besideProgram = true;
    QString error; // the folder could not be created
};

// The choice for an executable in exeFolder. xdgDataHome is the value of
// XDG_DATA_HOME (ignored unless absolute, as the XDG rules say), home the
// user's home folder. A folder outside the program is created owner-only.
DataFolder chooseDataFolder(const QString &exeFolder, const QString &xdgDataHome, const QString &home);

// The download folder of fresh settings for data kept in dataFolder: its
// "download" subfolder, or the desktop's downloads folder when dataFolder is
// the user's data folder an installed copy chose.
QString defaultDownloadFolder(const QString &dataFolder);

// A line for the activity log when the data files are not beside the
// program ("" when they are); *failed tells a folder that could not be made.
QString dataFolderNote(bool *failed = nullptr);

} // namespace platform
