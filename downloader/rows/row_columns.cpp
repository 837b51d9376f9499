#include "rows/row_columns.h"

#include "platform/twips.h"

#include <QString>

#include <algorithm>

namespace {
constexpr int kPercentMinimum = 660; // twips: "100%" in the row's own font
constexpr int kCaptionPadding = 12;  // pixels: the head's raised frame and a little air
} // namespace

int percentColumnWidth(const QFontMetrics &metrics)
{
    int caption = metrics.horizontalAdvance(QString::fromUtf16(kPercentCaption)) + kCaptionPadding;
    caption += caption % 2; // the lock picture sits in its middle, on a whole pixel
    return std::max(kPercentMinimum, platform::pixelsToTwips(caption));
}

RowColumns rowColumns(int rowWidth, int percentWidth)
{
    // Whole pixels, so every edge falls where the heads' edges do.
    constexpr int pixel = platform::kTwipsPerPixel;
    const int c = std::max(0, (rowWidth - percentWidth + 2 * pixel) / (4 * pixel) * pixel);
    RowColumns columns;
    columns.left = {0, c, 2 * c, 2 * c + percentWidth, 3 * c + percentWidth};
    columns.width = {c, c, percentWidth, c, c};
    return columns;
}
