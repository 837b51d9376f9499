#pragma once

#include <QSize>
#include <QtGlobal>

#include <QtGlobal>
#include <array>

// The layout rules of the speed graph, in twips, kept apart from the widget so
// they can be checked without a display.
namespace stats {

constexpr int kPoints = 9;
constexpr qint32 kStartMax = 20;
constexpr int kMarkerSide = 105;
// Lines join the markers near their centres.
constexpr int kLineOffset = 50;

struct Place {
    double left = 0;
    double top = 0;
};

// The scale only grows: a value above it moves it to the value plus 20. Speeds
// are 32-bit, and the sum saturates instead of wrapping to a negative scale.
qint32 grownMax(qint32 max, qint32 value);

// Top-left corner of marker `index` showing `value` in a graph of
// width x height twips whose top stands for `max`.
Place markerPlace(int index, qint32 value, qint32 max, double width, double height);

// Top-left corner of a label of the given size, centred just above its marker.
Place labelPlace(Place marker, double labelWidth, double labelHeight);

// A label's extent across the graph.
struct Span {
    double left = 0;
    double right = 0;
};

// Which labels are drawn when the window is too narrow for all: every k-th
// from the newest (rightmost), with the smallest k for which no two drawn
// labels come closer than gap across. The newest is always drawn; markers and
// lines are not affected.
std::array<bool, kPoints> shownLabels(const std::array<Span, kPoints> &labels, double gap);

// Twips to whole pixels. Far-off positions (a negative value on a small scale)
// are held at a distance the painter still handles.
int toPixels(double twips);

// The graph's size inside a window whose outer size is `outer` (twips); a side
// that would come out negative keeps its `current` length.
QSize graphSize(QSize outer, QSize current);

} // namespace stats
