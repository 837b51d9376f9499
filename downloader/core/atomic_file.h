#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Writes a whole file through a temporary file renamed over the old one, so a
// failed or interrupted save never leaves it truncated. ownerOnly keeps it
// readable by its owner alone (files that may hold passwords).
// Returns false with a description in *error when it failed; the old file is then untouched.
bool saveFileAtomically(const QString &path, const QByteArray &bytes, QString *error, bool ownerOnly = false);

} // namespace platform
