#pragma once

#include <QColor>
#include <QtGlobal>

class QPalette;

namespace platform {

// Colours are kept as 32-bit values with red in the low byte; a value with the
// top bit set names a system colour, which we take from the palette.
QColor oleColor(quint32 value);
QColor oleColor(quint32 value, const QPalette &palette);

constexpr quint32 kSysHighlight = 0x8000000D;
constexpr quint32 kSysHighlightText = 0x8000000E;
constexpr quint32 kSysInfoBackground = 0x80000018;

} // namespace platform
