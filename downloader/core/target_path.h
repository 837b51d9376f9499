#pragma once

#include <QString>

// One spelling per target file, so "a/../f" and "f" count as the same file.
QString sameFileKey(const QString &file);

// A target path from a list file: relative ones belong to the program folder,
// not to whatever folder the program was started from.
QString listTargetPath(const QString &file);
