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
    const int caption = metrics.horizontalAdvance(QString::fromUtf16(kPercentCaption)) + kCaptionPadding;
    return std::max(kPercentMinimum, platform::pixelsToTwips(caption));
}

RowColumns rowColumns(int rowWidth, int percentWidth)
{
    const int c = std::max(0, (rowWidth - percentWidth + 2) / 4);
    RowColumns columns;
    columns.left = {0, c, 2 * c, 2 * c + percentWidth, 3 * c + percentWidth};
    columns.width = {c, c, percentWidth, c, c};
    return columns;
}
