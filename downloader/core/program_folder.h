#pragma once

#include <QString>

namespace platform {

// The folder the program keeps its files in: the executable's folder,
// unless a test points it elsewhere.
QString programFolder();
void setProgramFolder(const QString &folder);

// programFolder() + separator + name.
QString programFile(const QString &name);

// The folder with the native separator at its end (added only when missing).
QString withTrailingSeparator(const QString &folder);

// The program's title, used as the caption of its message boxes.
QString programTitle();

} // namespace platform
