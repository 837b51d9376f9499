#pragma once

#include "core/download_entry.h"
#include "core/list_file.h"

// A table's entry as its list file stores it, and back. A file read from a
// list keeps a relative path inside the program folder.
ListRecord toRecord(const DownloadEntry &e);
DownloadEntry fromRecord(const ListRecord &r);
