#include "stats/grafica_control.h"

#include "platform/ole_color.h"
#include "platform/twips.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace {

// Colours keep red in the low byte.
constexpr quint32 kLineColor = 0xE0E0E0;
constexpr quint32 kMarkerBorder = 0xE0E0E0;
constexpr quint32 kMarkerFill = 0x000080;
constexpr quint32 kLabelColor = 0xFFFFFF;
const QColor background(64, 64, 64);

const QString startLabel = u"0 Kb/seg"_s;

} // namespace

Grafica::Grafica(QWidget *parent) : QWidget(parent), labelFont_(u"MS Serif"_s, 8)
{
    labelFont_.setStyleHint(QFont::Serif);
    setAttribute(Qt::WA_OpaquePaintEvent);
    reset();
}

Grafica::~Grafica() = default;

qint32 Grafica::value(int index) const
{
    return index >= 0 && index < stats::kPoints ? values_[index] : 0;
}

QString Grafica::label(int index) const
{
    return index >= 0 && index < stats::kPoints ? labels_[index] : QString();
}

QRect Grafica::markerRect(int index) const
{
    return index >= 0 && index < stats::kPoints ? markers_[index] : QRect();
}

QRect Grafica::labelRect(int index) const
{
    return index >= 0 && index < stats::kPoints && labelShown_[index] ? labelRects_[index] : QRect();
}

void Grafica::reset()
{
    values_.fill(0);
    labels_.fill(startLabel);
    max_ = stats::kStartMax;
    Redraw();
}

void Grafica::addvalue(qint32 value, const QString &label)
{
    max_ = stats::grownMax(max_, value);
    for (int i = 0; i + 1 < stats::kPoints; ++i) {
        values_[i] = values_[i + 1];
        labels_[i] = labels_[i + 1];
    }
    values_.back() = value;
    labels_.back() = label;
    Redraw();
}

void Grafica::Redraw()
{
    using platform::pixelsToTwips;
    const double w = pixelsToTwips(width());
    const double h = pixelsToTwips(height());
    const int side = platform::twipsToPixels(stats::kMarkerSide);
    const QFontMetrics metrics(labelFont_);
    std::array<stats::Span, stats::kPoints> spans;
    for (int i = 0; i < stats::kPoints; ++i) {
        const stats::Place m = stats::markerPlace(i, values_[i], max_, w, h);
        markers_[i] = QRect(stats::toPixels(m.left), stats::toPixels(m.top), side, side);
        lineEnds_[i] =
            QPoint(stats::toPixels(m.left + stats::kLineOffset), stats::toPixels(m.top + stats::kLineOffset));

        const QSize text(metrics.horizontalAdvance(labels_[i]), metrics.height());
        const stats::Place l = stats::labelPlace(m, pixelsToTwips(text.width()), pixelsToTwips(text.height()));
        labelRects_[i] = QRect(QPoint(stats::toPixels(l.left), stats::toPixels(l.top)), text);
        // The newest value's label is kept whole inside the graph.
        if (i == stats::kPoints - 1 && labelRects_[i].right() >= width())
            labelRects_[i].moveRight(width() - 1);
        spans[i] = {double(labelRects_[i].left()), double(labelRects_[i].left() + labelRects_[i].width())};
    }
    // A space's width between two labels keeps them apart as words.
    labelShown_ = stats::shownLabels(spans, metrics.horizontalAdvance(u' '));
    // One cut by the left edge would read as another figure.
    for (int i = 0; i < stats::kPoints; ++i)
        labelShown_[i] = labelShown_[i] && labelRects_[i].left() >= 0;
    update();
}

void Grafica::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), background);
    p.setRenderHint(QPainter::Antialiasing);

    p.setPen(platform::oleColor(kLineColor));
    for (int i = 0; i + 1 < stats::kPoints; ++i)
        p.drawLine(lineEnds_[i], lineEnds_[i + 1]);

    // The outline stays inside the marker's square.
    p.setPen(platform::oleColor(kMarkerBorder));
    p.setBrush(platform::oleColor(kMarkerFill));
    for (const QRect &m : markers_)
        p.drawEllipse(QRectF(m).adjusted(0.5, 0.5, -0.5, -0.5));

    p.setFont(labelFont_);
    p.setPen(platform::oleColor(kLabelColor));
    for (int i = 0; i < stats::kPoints; ++i)
        if (labelShown_[i])
            p.drawText(labelRects_[i], Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, labels_[i]);
}

void Grafica::resizeEvent(QResizeEvent *)
{
    Redraw();
}

// Markers let clicks through to the background; labels do not.
bool Grafica::onBackground(QPoint pos) const
{
    if (!rect().contains(pos))
        return false;
    for (int i = 0; i < stats::kPoints; ++i)
        if (labelShown_[i] && labelRects_[i].contains(pos))
            return false;
    return true;
}

void Grafica::mousePressEvent(QMouseEvent *event)
{
    afterDoubleClick_ = false;
    event->accept();
}

void Grafica::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    // The release that ends a double click is not a second click.
    const bool click =
        event->button() == Qt::LeftButton && !afterDoubleClick_ && onBackground(event->position().toPoint());
    afterDoubleClick_ = false;
    if (click)
        emit Click();
}

void Grafica::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() != Qt::LeftButton || !onBackground(event->position().toPoint()))
        return;
    afterDoubleClick_ = true;
    emit DblClick();
}
