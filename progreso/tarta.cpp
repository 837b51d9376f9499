#include "tarta.h"

#include "control_values.h"
#include "twips_local.h"

#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr quint32 kButtonFace = 0x8000000F;
// The angles keep the constant the pie has always used, so a full disc ends
// at the same place.
constexpr double kPi = 3.141593;
constexpr double kFullTurn = 6.283186;

} // namespace

using provek::oleColor;

tarta::tarta(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    redraw();
}

tarta::~tarta() = default;

qint32 tarta::value() const
{
    return value_;
}

void tarta::setValue(qint32 v)
{
    value_ = v;
    redraw();
}

qint32 tarta::MaxValue() const
{
    return max_;
}

void tarta::setMaxValue(qint32 v)
{
    max_ = v;
    redraw();
}

quint32 tarta::BackColor() const
{
    return back_;
}

void tarta::setBackColor(quint32 color)
{
    back_ = color;
    redraw();
}

quint32 tarta::ForeColor() const
{
    return fore_;
}

void tarta::setForeColor(quint32 color)
{
    fore_ = color;
    redraw();
}

void tarta::redraw()
{
    // An unset maximum means a percentage; the property reads 100 from then on.
    if (max_ == 0)
        max_ = 100;
    update();
}

void tarta::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), oleColor(kButtonFace, palette()));

    // The disc sits 100 twips up and to the left of the middle.
    const double cx = progreso_local::pixelsToTwips(width()) / 2.0 - 100;
    const double cy = progreso_local::pixelsToTwips(height()) / 2.0 - 100;
    const double r = std::min(cx, cy);
    // Too small a control has no room for a disc.
    if (r <= 0)
        return;

    const QPointF centre(progreso_local::twipsToPixels(cx), progreso_local::twipsToPixels(cy));
    const double radius = progreso_local::twipsToPixels(r);
    const QColor back = oleColor(back_, palette());
    const QColor fore = oleColor(fore_, palette());

    p.setPen(back);
    p.setBrush(back);
    p.drawEllipse(centre, radius, radius);

    const qint32 maximum = max_ == 0 ? 100 : max_;
    double angle = double(value_) / double(maximum) * 2 * kPi;
    if (value_ > maximum)
        angle = kFullTurn;

    // From twelve o'clock, clockwise.
    p.setPen(fore);
    p.setBrush(fore);
    if (angle > 0) {
        const double degrees = std::min(angle, kFullTurn) * 180.0 / std::numbers::pi;
        QPainterPath sector(centre);
        sector.arcTo(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 90.0, -degrees);
        sector.closeSubpath();
        p.drawPath(sector);
    }
    p.drawLine(centre, centre + QPointF(0, -radius));
    p.drawLine(centre, centre + QPointF(radius * std::sin(angle), -radius * std::cos(angle)));
}
