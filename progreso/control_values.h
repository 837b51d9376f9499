#pragma once

#include "progreso_export.h"

#include <QColor>
#include <QtGlobal>

class QPalette;

// How the controls' properties carry colours and mouse buttons, shared with
// the program that hosts them.
namespace provek {

// Colour values carry red in the low byte; a value with the top bit set
// names a system colour, taken from the palette.
PROGRESO_EXPORT QColor oleColor(quint32 value, const QPalette &palette);

// The mouse button as events report it: 1 left, 2 right, 4 middle, 0 other.
PROGRESO_EXPORT int buttonCode(Qt::MouseButton button);

} // namespace provek
