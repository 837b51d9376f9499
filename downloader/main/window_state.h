#pragma once

#include <QByteArray>
#include <QStringList>

// Which windows and bars the "&Ver" menu shows, in the order view.win
// stores them. A value not present in the file shows its window.
struct ViewState {
    bool viewweb = true;
    bool viewhist = true;
    bool viewactivas = true;
    bool viewinactivas = true;
    bool viewestadisticas = true;
    bool general = true;
    bool viequickadd = true;

    bool operator==(const ViewState &) const = default;
};

// Seven 2-byte little-endian values from the first byte on: FF FF shown,
// 00 00 hidden. Always 14 bytes.
QByteArray encodeViewWin(const ViewState &state);

// Any value other than 0 is shown. Values missing from a short or empty
// file keep their default (shown); bytes past the seventh value are ignored.
ViewState decodeViewWin(const QByteArray &bytes);

// One quick-add address per line, CR LF ends, in the combo box's order.
// A line break inside an item is dropped, so an item stays one line.
QByteArray encodeQuickList(const QStringList &items);

// Lines end in CR LF or a bare LF; a last line without its end still counts.
// A line longer than 64 KiB is no address: it is left out.
QStringList decodeQuickList(const QByteArray &bytes);
