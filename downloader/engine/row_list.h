#pragma once

#include <QList>

class QLabel;
class QScrollBar;
class QWidget;
class download;

// The list area both download windows share: five column heads over rows
// packed at a fixed pitch, and a scroll bar shown only when they overflow.
// Sizes are in twips, as the windows lay themselves out.
class RowList {
public:
    static constexpr int kHeaderHeight = 300;

    // Builds the white frame with its heads, the hidden template row (whose
    // top is the first row position) and the scroll bar on window. Clicks on
    // the empty frame reach window's event filter.
    void build(QWidget *window);

    // The frame at (left, top), frameHeight high, across windowWidth; the
    // scroll bar appears when rowCount rows of pitch do not fit. Returns the
    // frame's width.
    int layout(int left, int top, int windowWidth, int frameHeight, int rowCount, int pitch);

    // rows in slot order: the k-th goes (k - n * v / 100) pitches below the
    // first row position, n being the loaded rows and v the scroll value;
    // rows that would climb over the heads are hidden.
    void placeRows(const QList<download *> &rows, int loadedRows, int pitch) const;

    QWidget *frame() const { return frame_; }
    QScrollBar *scroll() const { return scroll_; }
    download *templateRow() const { return template_; }

private:
    QWidget *frame_ = nullptr;
    QScrollBar *scroll_ = nullptr;
    QLabel *headers_[5] = {};
    download *template_ = nullptr;
};
