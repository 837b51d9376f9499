#pragma once

#include <QByteArrayList>

namespace platform {

// The lines of a text file: CR LF or a bare LF ends a line, and a last line
// without its end still counts.
QByteArrayList textLines(const QByteArray &bytes);

} // namespace platform
