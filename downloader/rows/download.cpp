#include "rows/download.h"

#include "platform/ole_color.h"
#include "platform/twips.h"
#include "rows/row_columns.h"

#include <control_values.h>
#include <progreso.h>

#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPointer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Row geometry, in twips.
constexpr int kRowHeight = 300;
constexpr int kLabelTop = 30;
constexpr int kLabelHeight = 240;
constexpr int kBarTop = 45;
constexpr int kBarHeight = 210;
constexpr int kLockSize = 240;
constexpr int kLockTop = 30;
constexpr int kLineTop = 285;

constexpr quint32 kWhite = 0xFFFFFF;
constexpr quint32 kRetriesOver = 0x8080FF;  // light red
constexpr quint32 kReconnecting = 0xE2FFC6; // light green

constexpr quint32 kBarColor = 0xD57000;
constexpr quint32 kBarBackground = 0xE0E0E0;
constexpr quint32 kLineColor = 0xC0C0C0;

void place(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(platform::twipsToPixels(left), platform::twipsToPixels(top),
                   platform::twipsToPixels(std::max(width, 0)), platform::twipsToPixels(std::max(height, 0)));
}

QPixmap lockPicture()
{
    const int size = platform::twipsToPixels(kLockSize);
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size / 16.0;
    // Shackle.
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1.6 * s));
    p.setBrush(Qt::NoBrush);
    QPainterPath shackle;
    shackle.moveTo(4.5 * s, 8 * s);
    shackle.lineTo(4.5 * s, 5 * s);
    shackle.arcTo(QRectF(4.5 * s, 1.5 * s, 7 * s, 7 * s), 180, -180);
    shackle.lineTo(11.5 * s, 8 * s);
    p.drawPath(shackle);
    // Body with a keyhole.
    p.setPen(QPen(QColor(0x80, 0x60, 0x00), s));
    p.setBrush(QColor(0xE8, 0xB8, 0x20));
    p.drawRoundedRect(QRectF(2.5 * s, 7.5 * s, 11 * s, 7.5 * s), s, s);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x40, 0x30, 0x00));
    p.drawEllipse(QPointF(8 * s, 10.5 * s), 1.2 * s, 1.2 * s);
    p.drawRect(QRectF(7.5 * s, 11 * s, s, 2.5 * s));
    return pixmap;
}

} // namespace

struct download::Parts {
    QLabel *filename = nullptr;
    progreso *avance = nullptr;
    QLabel *porciento = nullptr;
    QLabel *candado = nullptr;
    QLabel *nbytes = nullptr;
    QLabel *urll = nullptr;
    QFrame *downl = nullptr;

    bool locked = false;
    bool selected = false;
    bool finalizado = false;
    bool redoend = false;
    bool reconectando = false;
    quint32 base = kWhite;
    // The release that ends a double click is not another click.
    bool afterDoubleClick = false;

    QLabel *label(download *owner, const QString &name, const QString &text, Qt::Alignment alignment)
    {
        auto *l = new QLabel(owner);
        l->setObjectName(name);
        // File names and addresses come from the network: never rich text.
        l->setTextFormat(Qt::PlainText);
        l->setText(text);
        l->setAlignment(alignment | Qt::AlignVCenter);
        l->setIndent(2);
        l->installEventFilter(owner);
        return l;
    }

    // Selection shows over whatever the state colour is; the state colour
    // comes back once the row is unselected.
    void applyBackground(QWidget *row)
    {
        QPalette pal = row->palette();
        pal.setColor(QPalette::Window, platform::oleColor(selected ? platform::kSysHighlight : base));
        row->setPalette(pal);
    }

    void setBase(QWidget *row, quint32 color)
    {
        base = color;
        applyBackground(row);
    }

    void setLabelColor(const QColor &color)
    {
        for (QLabel *l : {filename, porciento, urll, nbytes}) {
            QPalette pal = l->palette();
            pal.setColor(QPalette::WindowText, color);
            l->setPalette(pal);
        }
    }
};

download::download(QWidget *parent) : QWidget(parent), d(new Parts)
{
    d->filename = d->label(this, u"filename"_s, u"Archivo"_s, Qt::AlignLeft);

    d->avance = new progreso(this);
    d->avance->setObjectName(u"avance"_s);
    d->avance->setBorder(true);
    d->avance->setView_3D(false);
    d->avance->setFRColor(kBarColor);
    d->avance->setBGColor(kBarBackground);
    connect(d->avance, &progreso::Click, this, &download::Click);
    connect(d->avance, &progreso::DblClick, this, &download::DblClick);
    connect(d->avance, &progreso::MouseUp, this, &download::MouseUp);

    d->porciento = d->label(this, u"porciento"_s, u"0%"_s, Qt::AlignHCenter);

    d->candado = new QLabel(this);
    d->candado->setObjectName(u"candado"_s);
    d->candado->setPixmap(lockPicture());
    d->candado->setAlignment(Qt::AlignCenter);
    d->candado->setToolTip(u"Archivo bloqueado"_s);
    d->candado->installEventFilter(this);
    d->candado->hide();

    d->nbytes = d->label(this, u"nbytes"_s, u"0"_s, Qt::AlignLeft);
    d->urll = d->label(this, u"urll"_s, u"URL"_s, Qt::AlignLeft);

    d->downl = new QFrame(this);
    d->downl->setObjectName(u"downl"_s);
    d->downl->setFrameShape(QFrame::HLine);
    d->downl->setFrameShadow(QFrame::Plain);
    d->downl->setLineWidth(1);
    QPalette linePalette = d->downl->palette();
    linePalette.setColor(QPalette::WindowText, platform::oleColor(kLineColor));
    d->downl->setPalette(linePalette);

    // Clicks on the row between its elements are the row's own, not the list's.
    installEventFilter(this);

    setAutoFillBackground(true);
    setFixedHeight(platform::twipsToPixels(kRowHeight));
    d->setLabelColor(Qt::black);
    d->applyBackground(this);
}

download::~download()
{
    delete d;
}

bool download::locked() const
{
    return d->locked;
}

void download::setLocked(bool value)
{
    d->locked = value;
    d->candado->setVisible(value);
    d->porciento->setVisible(!value);
}

int download::porcentaje() const
{
    return d->avance->value();
}

void download::setPorcentaje(int value)
{
    const int shown = std::min(value, 100);
    d->avance->setValue(shown);
    d->porciento->setText(QString::number(shown) + u'%');
}

QString download::bytes() const
{
    return d->nbytes->text();
}

void download::setBytes(const QString &text)
{
    d->nbytes->setText(text);
}

QString download::archivo() const
{
    return d->filename->text();
}

void download::setArchivo(const QString &text)
{
    d->filename->setText(text);
}

QString download::url() const
{
    return d->urll->text();
}

void download::setUrl(const QString &text)
{
    d->urll->setText(text);
}

bool download::selected() const
{
    return d->selected;
}

void download::setSelected(bool value)
{
    d->selected = value;
    d->setLabelColor(value ? platform::oleColor(platform::kSysHighlightText) : QColor(Qt::black));
    d->applyBackground(this);
}

void download::DownloadEnd()
{
    d->finalizado = true;
    d->setBase(this, platform::kSysInfoBackground);
}

bool download::finalizado() const
{
    return d->finalizado;
}

void download::setFinalizado(bool value)
{
    d->finalizado = value;
}

bool download::redoend() const
{
    return d->redoend;
}

void download::setRedoend(bool value)
{
    d->redoend = value;
    d->setBase(this, value ? kRetriesOver : kWhite);
}

bool download::Reconectando() const
{
    return d->reconectando;
}

void download::setReconectando(bool value)
{
    d->reconectando = value;
    d->setBase(this, value ? kReconnecting : kWhite);
}

quint32 download::baseColor() const
{
    return d->base;
}

void download::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);

    const int width = platform::pixelsToTwips(this->width());
    const RowColumns c = rowColumns(width, percentColumnWidth(fontMetrics()));
    place(d->filename, c.left[0], kLabelTop, c.width[0], kLabelHeight);
    place(d->avance, c.left[1], kBarTop, c.width[1], kBarHeight);
    place(d->porciento, c.left[2], kLabelTop, c.width[2], kLabelHeight);
    place(d->candado, c.left[2] + c.width[2] / 2 - kLockSize / 2, kLockTop, kLockSize, kLockSize);
    place(d->nbytes, c.left[3], kLabelTop, c.width[3], kLabelHeight);
    place(d->urll, c.left[4], kLabelTop, c.width[4], kLabelHeight);
    place(d->downl, 0, kLineTop, width, 15);

    d->avance->redraw();
    d->avance->setBGColor(d->avance->BGColor());
}

bool download::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick)
        return QWidget::eventFilter(watched, event);
    if (watched == this)
        return true;
    auto *child = qobject_cast<QWidget *>(watched);
    if (!child || child->parentWidget() != this)
        return QWidget::eventFilter(watched, event);

    auto *mouse = static_cast<QMouseEvent *>(event);
    switch (type) {
    case QEvent::MouseButtonPress:
        d->afterDoubleClick = false;
        break;
    case QEvent::MouseButtonDblClick:
        if (mouse->button() == Qt::LeftButton) {
            d->afterDoubleClick = true;
            // The lock picture answers single clicks only.
            if (child != d->candado)
                emit DblClick();
        }
        break;
    default: {
        const int code = provek::buttonCode(mouse->button());
        const bool click = mouse->button() == Qt::LeftButton && !d->afterDoubleClick
                           && child->rect().contains(mouse->position().toPoint());
        d->afterDoubleClick = false;
        // A handler may take the row away.
        QPointer<download> self(this);
        if (code != 0)
            emit MouseUp(code);
        if (self && click)
            emit Click();
        break;
    }
    }
    return true;
}
