#pragma once

#include <QByteArray>
#include <QMap>
#include <QRect>
#include <QString>

// Where the windows were when the program last ended, kept in a file of its
// own beside view.win ("ventanas.pos"), one window per line:
//   principal <the main window's geometry, base64>
//   <sub-window name> <x> <y> <width> <height>
// A line that does not read is skipped; the window keeps its usual place.
struct WindowPlaces {
    QByteArray main; // as QWidget::saveGeometry gives it
    QMap<QString, QRect> children;

    bool operator==(const WindowPlaces &) const = default;
};

QByteArray encodeWindowPlaces(const WindowPlaces &places);
WindowPlaces decodeWindowPlaces(const QByteArray &bytes);

// A remembered sub-window rectangle inside an area of the given size, moved
// back so its title bar is reachable; null for an empty one.
QRect placeWithin(const QRect &saved, const QSize &area);
