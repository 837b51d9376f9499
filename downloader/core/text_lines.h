#pragma once

#include <QByteArrayList>

namespace platform {

// The lines of a text file: CR LF or a bare LF ends a line, and a last line
// without its end still counts.
QByteArrayList textLines(const QByteArray &bytes);

} // namespace platform

namespace platform {

// Whether the bytes read as text: no NUL byte, and control characters other
// than line ends, tabs and form feeds rare. Bytes above 127 count as text, so
// a list written in another 8-bit code page still passes.
bool looksLikeText(const QByteArray &bytes);

} // namespace platform
