#pragma once

#include <QColor>
#include <QtGlobal>

class QPalette;

// Units shared by the two controls of this library. It cannot link the
// program's platform layer, so it keeps its own copies of the two rules.
namespace progreso_local {

// Drawing formulas are kept in twips (1/1440 inch); 15 twips = 1 pixel.
constexpr int kTwipsPerPixel = 15;

constexpr int pixelsToTwips(int pixels)
{
    return pixels * kTwipsPerPixel;
}

constexpr double twipsToPixels(double twips)
{
    return twips / kTwipsPerPixel;
}

// Colour values carry red in the low byte; a value with the top bit set names
// a system colour, taken from the palette.
QColor colorFromValue(quint32 value, const QPalette &palette);

} // namespace progreso_local
