#pragma once

#include "grafica_export.h"

#include <QLineF>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

// Where the graph puts its grid, markers and labels, in twips. Kept apart
// from the widget so the rules can be checked without a display.
namespace graph {

constexpr double kTwipsPerPixel = 15;

// The axes lie this far in from the left and bottom edges: on the control
// and on the printed page.
constexpr double kScreenOrigin = 200;
constexpr double kPrintOrigin = 500;

constexpr double kMarkerSize = 90; // diameter of a marker on the control
constexpr double kPrintRadius = 50;
constexpr double kLabelGap = 20; // between a label and the marker below it

// Eleven grid lines on each axis: 0 %, 10 %, ..., 100 %.
constexpr int kGridLines = 11;

// ChangeValue and ChangeCaption take a 16-bit index, so a series longer than
// this could not be addressed.
constexpr int kMaxMarkers = 32768;

GRAFICA_EXPORT double pixelsToTwips(double pixels);
GRAFICA_EXPORT double twipsToPixels(double twips);

// A drawing area of width x height twips with its axes origin twips in from
// the left and bottom edges.
struct GRAFICA_EXPORT Frame {
    double width = 0;
    double height = 0;
    double origin = kScreenOrigin;

    // One percent of the scale: the area's height / 120.
    double unit() const;
    // y of the horizontal grid line k (k * 10 %); line 0 is the value axis.
    double gridRow(int k) const;
    // x of the vertical grid line k; line 0 is the vertical axis.
    double gridColumn(int k) const;
    // Horizontal distance between consecutive markers of a series of count.
    double spacing(qsizetype count) const;
    // Centre of marker index of count for a value on a scale: on the height
    // of its percentage of the scale, above the axis for positive values.
    QPointF centre(qsizetype index, qsizetype count, qint32 value, double scale) const;
};

// The largest value of the series, never below 1, so that it can divide.
GRAFICA_EXPORT double valueScale(const QList<qint32> &values);

// A marker of the given diameter around its centre, and the label of that
// size that sits above it.
GRAFICA_EXPORT QRectF markerRect(QPointF centre, double diameter);
GRAFICA_EXPORT QRectF labelRect(const QRectF &marker, QSizeF size);

// The labels to draw are every stride-th from the first: the smallest stride
// at which no drawn label comes closer than gap to the one before it, so that
// captions never run into each other on a narrow graph. lefts and widths are
// the labels' in marker order (lefts growing); a width of 0 is no label. The
// stride depends on the captions and the width only, not on the values, so
// it stays put while values change.
GRAFICA_EXPORT qsizetype labelStride(const QList<double> &lefts, const QList<double> &widths, double gap);

// The part of line inside rect, none when it misses the rect. Values far off
// the scale put points billions of twips away; clipping first keeps such
// coordinates away from the painter.
GRAFICA_EXPORT std::optional<QLineF> clipLine(const QLineF &line, const QRectF &rect);

} // namespace graph
