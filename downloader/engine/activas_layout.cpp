// The active window's list area: headers, packed rows, the scroll bar shown
// only when the rows overflow, and the details panel under the list.
#include "engine/activas.h"

#include "engine/figures.h"
#include "platform/twips.h"
#include "rows/download.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolBar>

using namespace Qt::StringLiterals;
using platform::pixelsToTwips;
using platform::twipsToPixels;

namespace {
// Design sizes, in twips.
constexpr int kFrameLeft = 60;
constexpr int kFrameTop = 600; // room for the window's toolbar
constexpr int kHeaderHeight = 300;
constexpr int kPorcientoWidth = 1000;
constexpr int kInfHeight = 1500;
constexpr int kScrollWidth = 255;

void placeTwips(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(twipsToPixels(left), twipsToPixels(top), qMax(0, twipsToPixels(width)),
                   qMax(0, twipsToPixels(height)));
}

QLabel *detailField(QGridLayout *grid, int row, int column, const QString &caption, const QString &name)
{
    auto *label = new QLabel(caption);
    auto *field = new QLabel;
    field->setObjectName(name);
    field->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(label, row, column);
    grid->addWidget(field, row, column + 1);
    return field;
}
} // namespace

void activas::buildLayout()
{
    buildToolbar();

    frame_ = new QWidget(this);
    frame_->setObjectName(u"frame"_s);
    frame_->setAutoFillBackground(true);
    QPalette pal = frame_->palette();
    pal.setColor(QPalette::Window, Qt::white);
    frame_->setPalette(pal);
    frame_->installEventFilter(this);

    const QStringList names = {u"filename"_s, u"avance"_s, u"porciento"_s, u"nbytes"_s, u"urll"_s};
    const QStringList captions = {u"Archivo"_s, u"Progreso"_s, u"Porcentaje"_s, u"Bytes descargados"_s, u"URL"_s};
    for (int k = 0; k < 5; ++k) {
        headers_[k] = new QLabel(captions[k], frame_);
        headers_[k]->setObjectName(names[k]);
        headers_[k]->setFrameShape(QFrame::Panel);
        headers_[k]->setFrameShadow(QFrame::Raised);
        headers_[k]->setAutoFillBackground(true);
    }

    // The template row: always loaded, never shown; its top is the first row position.
    slots_[0].indicador = new download(frame_);
    slots_[0].indicador->setObjectName(u"indicador0"_s);
    slots_[0].indicador->move(0, twipsToPixels(kHeaderHeight));
    slots_[0].indicador->hide();

    scroll_ = new QScrollBar(Qt::Vertical, this);
    scroll_->setObjectName(u"scroll"_s);
    scroll_->setRange(0, 100);
    scroll_->hide();
    connect(scroll_, &QScrollBar::valueChanged, this, &activas::onScroll);

    inf_ = new QGroupBox(this);
    inf_->setObjectName(u"inf"_s);
    auto *grid = new QGridLayout(inf_);
    velmedia_ = detailField(grid, 0, 0, u"Velocidad media:"_s, u"velmedia"_s);
    tiempou_ = detailField(grid, 1, 0, u"Tiempo utilizado:"_s, u"tiempou"_s);
    tiemporest_ = detailField(grid, 2, 0, u"Tiempo restante:"_s, u"tiemporest"_s);
    tiemporest_->setToolTip(u"Tiempo restante (estimado)"_s);
    porcientot_ = detailField(grid, 0, 2, u"Porcentaje:"_s, u"porcientot"_s);
    bytest_ = detailField(grid, 1, 2, u"Bytes:"_s, u"bytest"_s);
    allowredoc_ = detailField(grid, 2, 2, u"Reanudable:"_s, u"allowredoc"_s);
    urlt_ = detailField(grid, 3, 0, u"URL:"_s, u"urlt"_s);
    grid->addWidget(urlt_, 3, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    resize(640, 400);
}

void activas::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutList();
}

void activas::layoutList()
{
    if (!frame_)
        return;
    const int width = pixelsToTwips(this->width());
    const int height = pixelsToTwips(this->height());
    const int frameHeight = qMax(0, height - 1100 - kInfHeight);
    const int rowsHeight = (loadedRows() - 1) * kRowPitch;

    int frameWidth = 0;
    if (rowsHeight <= frameHeight) {
        frameWidth = width - 150;
        scroll_->hide();
        scroll_->setValue(0);
    } else {
        scroll_->show();
        frameWidth = width - kScrollWidth - 150;
        placeTwips(scroll_, kFrameLeft + frameWidth, kFrameTop, kScrollWidth, frameHeight - 50);
    }
    placeTwips(opciones_, 0, 0, width, kFrameTop - 30);
    placeTwips(frame_, kFrameLeft, kFrameTop, frameWidth, frameHeight);
    placeTwips(inf_, kFrameLeft, kFrameTop + frameHeight + 40, frameWidth, kInfHeight);
    layoutHeaders();
    onScroll(scroll_->value());
}

void activas::layoutHeaders()
{
    const int frameWidth = pixelsToTwips(frame_->width());
    const int c = qRound((frameWidth - kPorcientoWidth) / 4.0);
    placeTwips(headers_[0], 0, 0, c, kHeaderHeight);
    placeTwips(headers_[1], c - 20, 0, c, kHeaderHeight);
    const int porcientoLeft = 2 * c - 40;
    placeTwips(headers_[2], porcientoLeft, 0, kPorcientoWidth, kHeaderHeight);
    const int nbytesLeft = porcientoLeft + kPorcientoWidth - 20;
    placeTwips(headers_[3], nbytesLeft, 0, c, kHeaderHeight);
    placeTwips(headers_[4], nbytesLeft + c - 20, 0, c, kHeaderHeight);
    for (int i = 1; i < kSlots; ++i)
        if (slots_[i].e.used && slots_[i].indicador)
            slots_[i].indicador->resize(twipsToPixels(frameWidth - 300), slots_[i].indicador->height());
}

// Scrolling moves the k-th row to (k - n * v / 100) pitches below the first
// row position and hides the rows that would climb over the headers.
void activas::onScroll(int value)
{
    const int n = loadedRows();
    const int firstTop = kHeaderHeight;
    int k = 0;
    for (int i = 1; i < kSlots; ++i) {
        Slot &s = slots_[i];
        if (!s.e.used || !s.indicador)
            continue;
        const int top = firstTop + (k - n * value / 100) * kRowPitch;
        s.indicador->move(0, twipsToPixels(top));
        s.indicador->setVisible(top >= firstTop);
        ++k;
    }
}

bool activas::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == frame_ && event->type() == QEvent::MouseButtonPress)
        clearSelection();
    return QWidget::eventFilter(watched, event);
}

void activas::selectRow(int i)
{
    if (!existe(i))
        return;
    selected_ = i;
    for (int k = 1; k < kSlots; ++k)
        if (slots_[k].e.used && slots_[k].indicador)
            slots_[k].indicador->setSelected(k == i);
    updateCommands();
    fillDetails(i);
}

void activas::clearSelection()
{
    selected_ = 0;
    for (int k = 1; k < kSlots; ++k)
        if (slots_[k].e.used && slots_[k].indicador)
            slots_[k].indicador->setSelected(false);
    updateCommands();
    clearDetails();
}

void activas::fillDetails(int i)
{
    const Slot &s = slots_[i];
    inf_->setTitle(u"Información detallada de "_s + s.e.file);
    velmedia_->setText(QString::number(s.e.speed) + u" Kb/seg"_s);
    tiempou_->setText(formatElapsed(s.e.elapsed));
    allowredoc_->setText(s.e.resumable ? u"X"_s : QString());
    if (s.e.speed < 1)
        tiemporest_->setText(u"*"_s);
    else
        tiemporest_->setText(formatElapsed(roundHalfEven((double(s.e.size - s.e.position) / 1024.0) / s.e.speed)));
    urlt_->setText(s.e.url);
    porcientot_->setText(s.e.size < 1 ? u"*"_s : QString::number(s.indicador->porcentaje()) + u"%"_s);
    bytest_->setText(QString::number(s.e.position - 1) + u"/"_s + QString::number(s.e.size));
}

void activas::clearDetails()
{
    for (QLabel *field : {allowredoc_, urlt_, velmedia_, porcientot_, tiempou_, tiemporest_, bytest_})
        field->clear();
    inf_->setTitle(QString());
}
