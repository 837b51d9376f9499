#pragma once

#include <QByteArray>
#include <QString>

namespace testing {

// SHA-256 of a file's bytes, hex; empty when it cannot be read.
QByteArray sha256OfFile(const QString &path);
// A file of the given size filled with reproducible pseudo-random bytes.
bool writeRandomFile(const QString &path, qint64 size, quint32 seed);

} // namespace testing
