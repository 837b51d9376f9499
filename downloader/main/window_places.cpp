#include "main/window_places.h"

#include "core/text_lines.h"

#include <QList>

namespace {
constexpr char kMain[] = "principal";
// Larger than any screen; a bigger figure is a damaged line.
constexpr int kMaxSide = 100000;
constexpr qsizetype kMaxLineBytes = 64 * 1024;

bool readNumber(const QByteArray &text, int low, int *value)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < low || n > kMaxSide)
        return false;
    *value = n;
    return true;
}
} // namespace

QByteArray encodeWindowPlaces(const WindowPlaces &places)
{
    QByteArray out;
    if (!places.main.isEmpty())
        out += QByteArray(kMain) + ' ' + places.main.toBase64() + "\r\n";
    for (auto it = places.children.cbegin(); it != places.children.cend(); ++it) {
        const QRect &r = it.value();
        out += it.key().toUtf8() + ' ' + QByteArray::number(r.x()) + ' ' + QByteArray::number(r.y()) + ' '
               + QByteArray::number(r.width()) + ' ' + QByteArray::number(r.height()) + "\r\n";
    }
    return out;
}

WindowPlaces decodeWindowPlaces(const QByteArray &bytes)
{
    WindowPlaces places;
    for (const QByteArray &line : platform::textLines(bytes)) {
        if (line.size() > kMaxLineBytes)
            continue;
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() == 2 && words[0] == kMain) {
            const auto decoded = QByteArray::fromBase64Encoding(words[1], QByteArray::AbortOnBase64DecodingErrors);
            if (decoded)
                places.main = *decoded;
            continue;
        }
        QRect r;
        int x = 0, y = 0, w = 0, h = 0;
        if (words.size() != 5 || words[0].isEmpty() || !readNumber(words[1], -kMaxSide, &x)
            || !readNumber(words[2], -kMaxSide, &y) || !readNumber(words[3], 1, &w) || !readNumber(words[4], 1, &h))
            continue;
        places.children.insert(QString::fromUtf8(words[0]), QRect(x, y, w, h));
    }
    return places;
}

QRect placeWithin(const QRect &saved, const QSize &area)
{
    if (saved.isEmpty())
        return {};
    // A smaller screen or frame than last time: the title bar stays where the
    // mouse can take it, with some of the window beside it.
    constexpr int kGrip = 40;
    const int x = qBound(kGrip - saved.width(), saved.x(), qMax(0, area.width() - kGrip));
    const int y = qBound(0, saved.y(), qMax(0, area.height() - kGrip));
    return {QPoint(x, y), saved.size()};
}
