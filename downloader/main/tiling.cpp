#include "main/tiling.h"

QList<QRect> tileRects(const QRect &area, int count, bool horizontally)
{
    QList<QRect> rects;
    if (count <= 0)
        return rects;
    const int length = horizontally ? area.height() : area.width();
    const int step = length / count;
    for (int i = 0; i < count; ++i) {
        const int start = i * step;
        const int size = i == count - 1 ? length - start : step;
        rects << (horizontally ? QRect(area.left(), area.top() + start, area.width(), size)
                               : QRect(area.left() + start, area.top(), size, area.height()));
    }
    return rects;
}

QList<QRect> cascadeRects(const QRect &area, int count, int step)
{
    QList<QRect> rects;
    const QSize size(area.width() * 2 / 3, area.height() * 2 / 3);
    const int room = qMax(1, qMin(area.width() - size.width(), area.height() - size.height()) / qMax(1, step) + 1);
    for (int i = 0; i < count; ++i) {
        const int offset = (i % room) * step;
        rects << QRect(area.topLeft() + QPoint(offset, offset), size);
    }
    return rects;
}
