#pragma once

#include <QtGlobal>

// Twips for the two controls of this library, which does not link the
// program's platform layer.
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

} // namespace progreso_local
