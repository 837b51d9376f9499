#include "grafica.h"

#include "graph_geometry.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPrinter>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

// A value with the top bit set names a system colour, taken from the palette.
QColor colourOf(quint32 value, const QPalette &palette)
{
    if (value & 0x80000000u) {
        switch (value & 0xFFu) {
        case 5: // window background
            return palette.color(QPalette::Base);
        case 8: // window text
            return palette.color(QPalette::Text);
        case 13:
            return palette.color(QPalette::Highlight);
        case 14:
            return palette.color(QPalette::HighlightedText);
        case 15: // button face
            return palette.color(QPalette::Button);
        case 18:
            return palette.color(QPalette::ButtonText);
        default:
            return palette.color(QPalette::Window);
        }
    }
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

// Key codes as hosts of the control know them (the desktop's virtual keys).
int keyCode(const QKeyEvent &event)
{
    const int key = event.key();
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return event.modifiers() & Qt::KeypadModifier ? 96 + (key - Qt::Key_0) : key;
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 112 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_Pause:
        return 19;
    case Qt::Key_CapsLock:
        return 20;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    default:
        return 0;
    }
}

// 1 Shift, 2 Ctrl, 4 Alt.
int shiftState(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0)
           | (modifiers & Qt::AltModifier ? 4 : 0);
}

struct Style {
    QColor rows;
    QColor columns;
    QColor axes;
    QColor lines;
    QColor points;
    double penWidth = 0; // 0: one device pixel, whatever the scale
};

void drawClipped(QPainter &p, const QLineF &line, const QRectF &visible, const QColor &colour, double width)
{
    const std::optional<QLineF> part = graph::clipLine(line, visible);
    if (!part)
        return;
    QPen pen(colour, width);
    pen.setCosmetic(width == 0);
    p.setPen(pen);
    p.drawLine(*part);
}

// The eleven lines of each direction; line 0 is drawn again as the axis.
void drawGrid(QPainter &p, const graph::Frame &f, const QRectF &visible, const Style &s)
{
    for (int k = 0; k < graph::kGridLines; ++k) {
        const QLineF row(0, f.gridRow(k), f.width, f.gridRow(k));
        drawClipped(p, row, visible, s.rows, s.penWidth);
        if (k == 0)
            drawClipped(p, row, visible, s.axes, s.penWidth);
    }
    for (int k = 0; k < graph::kGridLines; ++k) {
        const QLineF column(f.gridColumn(k), 0, f.gridColumn(k), f.height);
        drawClipped(p, column, visible, s.columns, s.penWidth);
        if (k == 0)
            drawClipped(p, column, visible, s.axes, s.penWidth);
    }
}

// Lines between consecutive markers, then the markers over them.
void drawSeries(QPainter &p, const graph::Frame &f, const QList<qint32> &values, double scale, const QRectF &visible,
                const Style &s, double diameter)
{
    const qsizetype n = values.size();
    for (qsizetype i = 1; i < n; ++i) {
        const QLineF line(f.centre(i - 1, n, values.at(i - 1), scale), f.centre(i, n, values.at(i), scale));
        drawClipped(p, line, visible, s.lines, s.penWidth);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(s.points);
    for (qsizetype i = 0; i < n; ++i) {
        const QRectF marker = graph::markerRect(f.centre(i, n, values.at(i), scale), diameter);
        if (marker.intersects(visible))
            p.drawEllipse(marker);
    }
}

} // namespace

grafica::grafica(QWidget *parent) : QWidget(parent), values_{0}, captions_{u"valor"_s}
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    drawgrafic();
}

grafica::~grafica() = default;

bool grafica::newval(qint32 val, const QString &caption)
{
    if (empty_) {
        values_[0] = val;
        captions_[0] = caption;
        empty_ = false;
        labelWidths_.clear();
    } else {
        if (values_.size() >= graph::kMaxMarkers)
            return false;
        values_.append(val);
        captions_.append(caption);
        labelWidths_.clear();
    }
    drawgrafic();
    return true;
}

void grafica::drawgrafic()
{
    drawn_ = {rows_, columns_, axes_, line_};
    update();
}

bool grafica::printgrafic()
{
    std::optional<QPrinter> own;
    QPrinter *printer = printer_ ? printer_ : &own.emplace(QPrinter::HighResolution);
    // The graph is wider than it is tall.
    printer->setPageOrientation(QPageLayout::Landscape);

    QPainter p;
    if (!p.begin(printer))
        return false;
    // Draw in twips on the printable area.
    const double perTwip = printer->resolution() / 1440.0;
    const graph::Frame page{p.device()->width() / perTwip, p.device()->height() / perTwip, graph::kPrintOrigin};
    p.scale(perTwip, perTwip);

    const QPalette &pal = palette();
    const Style style{colourOf(rows_, pal), colourOf(columns_, pal), colourOf(axes_, pal),
                      colourOf(line_, pal), colourOf(point_, pal),   10};
    const QRectF visible =
        QRectF(0, 0, page.width, page.height)
            .adjusted(-graph::kPrintRadius, -graph::kPrintRadius, graph::kPrintRadius, graph::kPrintRadius);
    drawGrid(p, page, visible, style);
    drawSeries(p, page, values_, graph::valueScale(values_), visible, style, 2 * graph::kPrintRadius);
    return p.end();
}

void grafica::clear()
{
    values_ = {0};
    captions_ = {QString()};
    labelWidths_.clear();
    empty_ = true;
    drawgrafic();
}

void grafica::ChangeCaption(qint16 index, const QString &caption)
{
    if (index < 0 || index >= captions_.size())
        return;
    captions_[index] = caption;
    labelWidths_.clear();
    update();
}

void grafica::ChangeValue(qint16 index, qint32 val)
{
    if (index < 0 || index >= values_.size())
        return;
    values_[index] = val;
    // The placeholder now holds a real value; the next newval appends.
    empty_ = false;
    drawgrafic();
}

void grafica::About()
{
    showAboutBox(u"Acerca de"_s, u"Gráfica\nControl de gráficas de líneas"_s);
}

void grafica::showAboutBox(const QString &title, const QString &text)
{
    QMessageBox::information(this, title, text);
}

quint32 grafica::BackColor()
{
    drawgrafic();
    return back_;
}

void grafica::setBackColor(quint32 color)
{
    back_ = color;
    update();
}

quint32 grafica::ForeColor() const
{
    return fore_;
}

void grafica::setForeColor(quint32 color)
{
    fore_ = color;
    update();
}

quint32 grafica::PointColor() const
{
    return point_;
}

void grafica::setPointColor(quint32 color)
{
    point_ = color;
    drawgrafic();
}

quint32 grafica::LineColor() const
{
    return line_;
}

void grafica::setLineColor(quint32 color)
{
    // Shown from the next redraw on.
    line_ = color;
}

quint32 grafica::YCoord() const
{
    return rows_;
}

void grafica::setYCoord(quint32 color)
{
    rows_ = color;
    drawgrafic();
}

quint32 grafica::XCoord() const
{
    return columns_;
}

void grafica::setXCoord(quint32 color)
{
    columns_ = color;
    drawgrafic();
}

quint32 grafica::Coord() const
{
    return axes_;
}

void grafica::setCoord(quint32 color)
{
    axes_ = color;
    drawgrafic();
}

int grafica::markerCount() const
{
    return int(values_.size());
}

bool grafica::hasValues() const
{
    return !empty_;
}

qint32 grafica::value(int index) const
{
    return values_.value(index);
}

QString grafica::caption(int index) const
{
    return captions_.value(index);
}

void grafica::setPrinter(QPrinter *printer)
{
    printer_ = printer;
}

QSize grafica::sizeHint() const
{
    return {320, 240};
}

void grafica::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    const QPalette &pal = palette();
    p.fillRect(event->rect(), colourOf(back_, pal));

    // Everything is laid out in twips; only what can reach the repainted
    // area is drawn.
    const graph::Frame frame{graph::pixelsToTwips(width()), graph::pixelsToTwips(height()), graph::kScreenOrigin};
    const double margin = graph::pixelsToTwips(2) + graph::kMarkerSize;
    const QRectF area = event->rect().toRectF();
    const QRectF visible = QRectF(graph::pixelsToTwips(area.x()), graph::pixelsToTwips(area.y()),
                                  graph::pixelsToTwips(area.width()), graph::pixelsToTwips(area.height()))
                               .adjusted(-margin, -margin, margin, margin);
    const double scale = graph::valueScale(values_);
    const Style style{colourOf(drawn_.rows, pal),  colourOf(drawn_.columns, pal), colourOf(drawn_.axes, pal),
                      colourOf(drawn_.lines, pal), colourOf(point_, pal),         0};

    p.save();
    p.scale(1 / graph::kTwipsPerPixel, 1 / graph::kTwipsPerPixel);
    drawGrid(p, frame, visible, style);
    drawSeries(p, frame, values_, scale, visible, style, graph::kMarkerSize);
    p.restore();
    paintLabels(p, visible, scale);
}

const QList<double> &grafica::labelWidths() const
{
    if (labelWidths_.size() != captions_.size()) {
        const QFontMetrics metrics = fontMetrics();
        labelWidths_.resize(captions_.size());
        for (qsizetype i = 0; i < captions_.size(); ++i) {
            const QString &text = captions_.at(i);
            labelWidths_[i] = text.isEmpty() ? 0 : graph::pixelsToTwips(metrics.horizontalAdvance(text) + 1);
        }
    }
    return labelWidths_;
}

qsizetype grafica::labelStride() const
{
    const graph::Frame frame{graph::pixelsToTwips(width()), graph::pixelsToTwips(height()), graph::kScreenOrigin};
    const qsizetype n = values_.size();
    QList<double> lefts(n);
    for (qsizetype i = 0; i < n; ++i)
        lefts[i] = graph::markerRect(frame.centre(i, n, 0, 1), graph::kMarkerSize).left();
    // A blank between two captions keeps them apart as words.
    return graph::labelStride(lefts, labelWidths(), graph::pixelsToTwips(fontMetrics().horizontalAdvance(u' ')));
}

QRectF grafica::labelTwips(qsizetype index, double scale) const
{
    const graph::Frame frame{graph::pixelsToTwips(width()), graph::pixelsToTwips(height()), graph::kScreenOrigin};
    const qsizetype n = values_.size();
    const QRectF marker = graph::markerRect(frame.centre(index, n, values_.at(index), scale), graph::kMarkerSize);
    return graph::labelRect(marker, {labelWidths().at(index), graph::pixelsToTwips(fontMetrics().height())});
}

QList<int> grafica::drawnLabels() const
{
    QList<int> drawn;
    const qsizetype stride = labelStride();
    for (qsizetype i = 0; i < captions_.size(); i += stride)
        if (!captions_.at(i).isEmpty())
            drawn.append(int(i));
    return drawn;
}

QRectF grafica::labelRect(int index) const
{
    if (index < 0 || index >= captions_.size())
        return {};
    const QRectF label = labelTwips(index, graph::valueScale(values_));
    return {graph::twipsToPixels(label.x()), graph::twipsToPixels(label.y()), graph::twipsToPixels(label.width()),
            graph::twipsToPixels(label.height())};
}

// The drawn captions, each in a box of the window colour above its marker.
void grafica::paintLabels(QPainter &p, const QRectF &visible, double scale)
{
    const QColor back = palette().color(QPalette::Base);
    p.setPen(colourOf(fore_, palette()));
    const qsizetype stride = labelStride();
    for (qsizetype i = 0; i < captions_.size(); i += stride) {
        const QString &text = captions_.at(i);
        if (text.isEmpty())
            continue;
        const QRectF label = labelTwips(i, scale);
        if (!label.intersects(visible))
            continue;
        const QRectF box(graph::twipsToPixels(label.x()), graph::twipsToPixels(label.y()),
                         graph::twipsToPixels(label.width()), graph::twipsToPixels(label.height()));
        p.fillRect(box, back);
        p.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    }
}

void grafica::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        labelWidths_.clear();
        update();
    }
}

void grafica::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    drawgrafic();
}

void grafica::mousePressEvent(QMouseEvent *event)
{
    afterDoubleClick_ = false;
    event->accept();
}

void grafica::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    // The release that ends a double click is not a second click.
    const bool click =
        event->button() == Qt::LeftButton && !afterDoubleClick_ && rect().contains(event->position().toPoint());
    afterDoubleClick_ = false;
    if (click)
        emit Click();
}

void grafica::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    afterDoubleClick_ = true;
    emit DblClick();
}

void grafica::keyPressEvent(QKeyEvent *event)
{
    event->accept();
    emit KeyDown(keyCode(*event), shiftState(event->modifiers()));
    // Keys that type nothing (arrows, function keys, Delete) give no KeyPress.
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).unicode() != 127)
        emit KeyPress(text.at(0).unicode());
}

void grafica::keyReleaseEvent(QKeyEvent *event)
{
    event->accept();
    // A held key repeats its KeyDown and ends with one KeyUp.
    if (event->isAutoRepeat())
        return;
    emit KeyUp(keyCode(*event), shiftState(event->modifiers()));
}
