#include "graph_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace graph {

double pixelsToTwips(double pixels)
{
    return pixels * kTwipsPerPixel;
}

double twipsToPixels(double twips)
{
    return twips / kTwipsPerPixel;
}

double Frame::unit() const
{
    return height / 120;
}

double Frame::gridRow(int k) const
{
    return height - k * 10 * unit() - origin;
}

double Frame::gridColumn(int k) const
{
    return k * 10 * (width / 110) + origin;
}

double Frame::spacing(qsizetype count) const
{
    return (width - origin) / double(count + 1);
}

QPointF Frame::centre(qsizetype index, qsizetype count, qint32 value, double scale) const
{
    const double x = double(index) * spacing(count) + origin;
    const double y = (height - origin) - double(value) / scale * 100 * unit();
    return {x, y};
}

double valueScale(const QList<qint32> &values)
{
    // Doubles hold every 32-bit value exactly, so the largest value lands on
    // the 100 % line however large it is.
    double m = 1;
    for (const qint32 v : values)
        m = std::max(m, double(v));
    return m;
}

QRectF markerRect(QPointF centre, double diameter)
{
    return {centre.x() - diameter / 2, centre.y() - diameter / 2, diameter, diameter};
}

QRectF labelRect(const QRectF &marker, QSizeF size)
{
    return {marker.left(), marker.top() - size.height() - kLabelGap, size.width(), size.height()};
}

qsizetype labelStride(const QList<double> &lefts, const QList<double> &widths, double gap)
{
    const qsizetype n = std::min(lefts.size(), widths.size());
    // A stride that fails stops at its first overlap, so trying them all in
    // turn costs about n log n steps.
    for (qsizetype stride = 1; stride < n; ++stride) {
        double reach = -std::numeric_limits<double>::infinity();
        bool fits = true;
        for (qsizetype i = 0; i < n && fits; i += stride) {
            if (widths[i] <= 0)
                continue;
            fits = lefts[i] >= reach;
            reach = std::max(reach, lefts[i] + widths[i] + gap);
        }
        if (fits)
            return stride;
    }
    return std::max<qsizetype>(n, 1);
}

std::optional<QLineF> clipLine(const QLineF &line, const QRectF &rect)
{
    // Liang-Barsky: the part of p1 + t * d with t in [0, 1] inside the rect.
    const double dx = line.dx();
    const double dy = line.dy();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {line.x1() - rect.left(), rect.right() - line.x1(), line.y1() - rect.top(),
                         rect.bottom() - line.y1()};
    double t0 = 0;
    double t1 = 1;
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return std::nullopt;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    }
    if (t0 > t1 || !std::isfinite(t0) || !std::isfinite(t1))
        return std::nullopt;
    return QLineF(line.x1() + t0 * dx, line.y1() + t0 * dy, line.x1() + t1 * dx, line.y1() + t1 * dy);
}

} // namespace graph
