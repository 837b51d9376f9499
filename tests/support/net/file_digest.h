#pragma once

#include <QByteArray>
#include <QString>

namespace testing {

// SHA-256 of a file's bytes, hex; empty when it cannot be read.
QByteArray sha256OfFile(const QString &path);
// A file of the given size filled with reproducible pseudo-random bytes.
bool writeRandomFile(const QString &path, qint64 size, quint32 seed);
// Reproducible bytes that are not a repeating pattern.
QByteArray testBytes(int size, quint32 seed = 12345);
// The whole file; empty when it cannot be read.
QByteArray readFile(const QString &path);
// Creates or truncates the file with these bytes; false when that failed.
bool writeFile(const QString &path, const QByteArray &bytes);

} // namespace testing
