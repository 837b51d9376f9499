#pragma once

#include "core/list_file.h"

// Reads a download list from disk. A list that did not load whole is first
// copied to path + ".bak" (and the log says so): the next save writes only
// the records that loaded, and the rest must not be lost with it.
ListLoad loadListFile(const QString &path, ListKind kind);
