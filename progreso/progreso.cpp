#include "progreso.h"

#include "control_values.h"
#include "twips_local.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <qdrawutil.h>

#include <algorithm>

namespace {

constexpr quint32 kButtonFace = 0x8000000F;

} // namespace

using provek::buttonCode;
using provek::oleColor;

progreso::progreso(QWidget *parent) : QWidget(parent), bg_(kButtonFace)
{
    // Every pixel inside the frame is painted by paintEvent.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

progreso::~progreso() = default;

qint32 progreso::value() const
{
    return value_;
}

void progreso::setValue(qint32 v)
{
    value_ = v;
    redraw();
}

qint32 progreso::MaxValue() const
{
    return max_;
}

void progreso::setMaxValue(qint32 v)
{
    max_ = std::max(v, 1);
    redraw();
}

quint32 progreso::FRColor() const
{
    return fr_;
}

void progreso::setFRColor(quint32 color)
{
    fr_ = color;
    redraw();
}

quint32 progreso::BGColor() const
{
    return bg_;
}

void progreso::setBGColor(quint32 color)
{
    bg_ = color;
    redraw();
}

bool progreso::view_3D() const
{
    return view3d_;
}

void progreso::setView_3D(bool on)
{
    view3d_ = on;
    updateFrame();
}

bool progreso::border() const
{
    return border_;
}

void progreso::setBorder(bool on)
{
    border_ = on;
    updateFrame();
}

void progreso::redraw()
{
    update();
}

// The frame lies outside the bar's surface, as a window border would, so the
// bar's width is measured inside it.
int progreso::frameWidth() const
{
    if (view3d_)
        return 2;
    return border_ ? 1 : 0;
}

void progreso::updateFrame()
{
    const int f = frameWidth();
    setContentsMargins(f, f, f, f);
    update();
}

void progreso::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect inner = contentsRect();

    if (view3d_) {
        qDrawWinPanel(&p, rect(), palette(), true);
    } else if (border_) {
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }

    p.fillRect(inner, oleColor(bg_, palette()));

    // value / MaxValue of the width in twips; beyond the edge it is cut off,
    // below zero nothing shows.
    const double twips = double(value_) / double(max_) * progreso_local::pixelsToTwips(inner.width());
    const double pixels = std::min(progreso_local::twipsToPixels(twips), double(inner.width()));
    const int filled = pixels > 0 ? qRound(pixels) : 0;
    if (filled > 0)
        p.fillRect(QRect(inner.left(), inner.top(), filled, inner.height()), oleColor(fr_, palette()));
}

void progreso::mousePressEvent(QMouseEvent *event)
{
    afterDoubleClick_ = false;
    event->accept();
}

void progreso::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    const int code = buttonCode(event->button());
    if (code != 0)
        emit MouseUp(code);
    // The release that ends a double click is not a second click.
    const bool click =
        event->button() == Qt::LeftButton && !afterDoubleClick_ && rect().contains(event->position().toPoint());
    afterDoubleClick_ = false;
    if (click)
        emit Click();
}

void progreso::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    afterDoubleClick_ = true;
    emit DblClick();
}
