#pragma once

#include <QString>

class detallado;
struct DownloadEntry;

// Fills the details dialog of one download, active or queued; estado is the
// state text the caller knows.
void fillDetailsDialog(detallado &dialog, const DownloadEntry &e, const QString &estado);
