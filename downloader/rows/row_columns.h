#pragma once

#include <QFontMetrics>

#include <array>

// Where the five columns of a download row sit (file, progress, percentage,
// bytes, address). The rows and the heads above them both take their places
// from here, so a head always stands over its column.
struct RowColumns {
    std::array<int, 5> left{};  // twips from the row's left edge
    std::array<int, 5> width{}; // twips
};

// The percentage column fits its head's caption in the given font, and is
// never narrower than a row's own percentage needs.
int percentColumnWidth(const QFontMetrics &metrics);

// Four equal columns around the percentage; a row narrower than the
// percentage gets empty columns rather than negative widths.
RowColumns rowColumns(int rowWidth, int percentWidth);

// The head of the percentage column.
inline constexpr char16_t kPercentCaption[] = u"Porcentaje";
