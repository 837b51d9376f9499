#pragma once

#include "rows/download.h"

#include <QKeyEvent>
#include <QList>

#include <cstddef>

class QLabel;
class QScrollBar;
class QWidget;

// The list area both download windows share: five column heads over rows
// packed at a fixed pitch, and a scroll bar shown only when they overflow.
// Sizes are in twips, as the windows lay themselves out.
class RowList {
public:
    static constexpr int kHeaderHeight = 300;
    // Twips the window keeps right of the frame: its edge and the scroll bar.
    static constexpr int kRightEdge = 150;
    static constexpr int kScrollWidth = 255;

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

    // A new row for slot i in the frame; its mouse actions reach the
    // window as click(i), doubleClick(i) and released(i, button).
    template <typename Window>
    download *newRow(Window *window, int i, void (Window::*click)(int), void (Window::*doubleClick)(int),
                     void (Window::*released)(int, int)) const
    {
        auto *row = new download(frame_);
        row->setObjectName(QStringLiteral("indicador%1").arg(i));
        QObject::connect(row, &download::Click, window, [window, i, click] { (window->*click)(i); });
        QObject::connect(row, &download::DblClick, window, [window, i, doubleClick] { (window->*doubleClick)(i); });
        QObject::connect(row, &download::MouseUp, window,
                         [window, i, released](int button) { (window->*released)(i, button); });
        return row;
    }
    // Takes a row away; it may be going from inside one of its own signals.
    static void dropRow(download *&row, QObject *window);

    // The row widgets of the used slots, in slot order; slot 0 is the
    // template. rowAt(i) is the row of slot i, null when the slot is unused.
    template <typename RowAt> static QList<download *> usedRows(int count, RowAt rowAt)
    {
        QList<download *> rows;
        for (int i = 1; i < count; ++i)
            if (download *row = rowAt(i))
                rows << row;
        return rows;
    }

    // The loaded slot the Up or Down key moves to from selected (0 when
    // none is selected), or 0 when there is none that way.
    template <typename Exists> static int nextRow(int count, int selected, bool down, Exists exists)
    {
        const int step = down ? 1 : -1;
        for (int i = (selected > 0 ? selected : (down ? 0 : count)) + step; i > 0 && i < count; i += step)
            if (exists(i))
                return i;
        return 0;
    }

    // Up and Down on a list's frame walk its rows: true when the event was
    // such a key (then select(next) was called when there is a row that way).
    template <typename Exists, typename Select>
    static bool walkRows(const QEvent *event, int count, int selected, Exists exists, Select select)
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<const QKeyEvent *>(event)->key();
        if (key != Qt::Key_Up && key != Qt::Key_Down)
            return false;
        if (const int next = nextRow(count, selected, key == Qt::Key_Down, exists))
            select(next);
        return true;
    }

    // Marks the row of slot selected, and no other (0 marks none).
    template <typename RowAt> static void markSelected(int count, RowAt rowAt, int selected)
    {
        for (int k = 1; k < count; ++k)
            if (download *row = rowAt(k))
                row->setSelected(k == selected);
    }

private:
    // A row's width in the frame, in twips, as the rows get it.
    int rowWidth() const;

    QWidget *frame_ = nullptr;
    QScrollBar *scroll_ = nullptr;
    QLabel *headers_[5] = {};
    download *template_ = nullptr;
};
