#pragma once

#include <QList>
#include <QRect>

// Rectangles for count windows tiled over area: horizontally means bands one
// above the other, vertically means columns side by side. The last one takes
// what rounding leaves, so the area is covered exactly.
QList<QRect> tileRects(const QRect &area, int count, bool horizontally);

// Cascade: each window two thirds of the area, moved down and right by step
// from the one before, wrapping to the corner when it would leave the area.
QList<QRect> cascadeRects(const QRect &area, int count, int step);
