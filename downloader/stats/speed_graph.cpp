#include "stats/speed_graph.h"

#include "platform/twips.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace stats {

namespace {

constexpr qint32 kGrowth = 20;
constexpr double kFarTwips = double(1 << 20) * platform::kTwipsPerPixel;

} // namespace

qint32 grownMax(qint32 max, qint32 value)
{
    if (value <= max)
        return max;
    constexpr qint32 top = std::numeric_limits<qint32>::max();
    return value > top - kGrowth ? top : value + kGrowth;
}

Place markerPlace(int index, qint32 value, qint32 max, double width, double height)
{
    // The scale starts at 20 and only grows, so it is never 0; still, a
    // division by it must not be able to fail.
    const double scale = max > 0 ? double(max) : 1.0;
    const double step = width / kPoints;
    return {index * step + 80, height - height / scale * value - 100};
}

Place labelPlace(Place marker, double labelWidth, double labelHeight)
{
    return {marker.left - labelWidth / 2, marker.top - 60 - labelHeight};
}

std::array<bool, kPoints> shownLabels(const std::array<Span, kPoints> &labels, double gap)
{
    std::array<bool, kPoints> shown{};
    for (int stride = 1; stride <= kPoints; ++stride) {
        bool apart = true;
        for (int i = kPoints - 1; i - stride >= 0 && apart; i -= stride)
            apart = labels[i - stride].right + gap <= labels[i].left;
        if (!apart)
            continue;
        for (int i = kPoints - 1; i >= 0; i -= stride)
            shown[i] = true;
        return shown;
    }
    shown[kPoints - 1] = true;
    return shown;
}

int toPixels(double twips)
{
    if (!std::isfinite(twips))
        return 0;
    return int(std::lround(std::clamp(twips, -kFarTwips, kFarTwips) / platform::kTwipsPerPixel));
}

QSize graphSize(QSize outer, QSize current)
{
    const int w = outer.width() - 100;
    const int h = outer.height() - 400;
    return {w < 0 ? current.width() : w, h < 0 ? current.height() : h};
}

} // namespace stats
