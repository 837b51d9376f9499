// The queue window's toolbar and list area: headers, packed rows, the scroll
// bar shown only when the rows overflow, selection and the details dialog.
#include "engine/inactivas.h"

#include "dialogs/detallado.h"
#include "engine/figures.h"
#include "platform/prompts.h"
#include "platform/twips.h"
#include "rows/download.h"

#include <tarta.h>

#include <QAction>
#include <QCursor>
#include <QEvent>
#include <QLabel>
#include <QScrollBar>
#include <QStyle>
#include <QToolBar>

#include <limits>

using namespace Qt::StringLiterals;
using platform::pixelsToTwips;
using platform::twipsToPixels;

namespace {
// Design sizes, in twips.
constexpr int kFrameLeft = 60;
constexpr int kFrameTop = 600; // room for the toolbar
constexpr int kToolbarHeight = 540;
constexpr int kHeaderHeight = 300;
constexpr int kPorcientoWidth = 1000;
constexpr int kScrollWidth = 255;
constexpr int kRightButton = 2;

void placeTwips(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(twipsToPixels(left), twipsToPixels(top), qMax(0, twipsToPixels(width)),
                   qMax(0, twipsToPixels(height)));
}

QAction *toolButton(QToolBar *bar, const QString &key, const QString &tip, QStyle::StandardPixmap icon)
{
    QAction *action = bar->addAction(bar->style()->standardIcon(icon), tip);
    action->setObjectName(key);
    action->setToolTip(tip);
    return action;
}
} // namespace

void inactivas::buildLayout()
{
    opciones_ = new QToolBar(this);
    opciones_->setObjectName(u"opciones"_s);
    detener_ = toolButton(opciones_, u"detener"_s, u"Eliminar descarga de la lista"_s, QStyle::SP_TrashIcon);
    continuar_ = toolButton(opciones_, u"continuar"_s, u"Continuar descarga"_s, QStyle::SP_MediaPlay);
    opciones_->addSeparator();
    bloquear_ = toolButton(opciones_, u"bloquear"_s, u"Bloquear/desbloquear descarga"_s, QStyle::SP_MessageBoxWarning);
    bloquear_->setCheckable(true);
    connect(detener_, &QAction::triggered, this, &inactivas::CallCancel);
    connect(continuar_, &QAction::triggered, this, &inactivas::CallContinue);
    connect(bloquear_, &QAction::triggered, this, &inactivas::bloquear);

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
    connect(scroll_, &QScrollBar::valueChanged, this, &inactivas::onScroll);

    resize(640, 300);
}

void inactivas::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutList();
}

void inactivas::layoutList()
{
    if (!frame_)
        return;
    const int width = pixelsToTwips(this->width());
    const int height = pixelsToTwips(this->height());
    placeTwips(opciones_, 0, 0, width, kToolbarHeight);
    const int frameHeight = qMax(0, height - 1100);
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
    placeTwips(frame_, kFrameLeft, kFrameTop, frameWidth, frameHeight);
    layoutHeaders();
    onScroll(scroll_->value());
}

void inactivas::layoutHeaders()
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

// The k-th row goes to (k - n * v / 100) pitches below the first row
// position; rows that would climb over the headers are hidden.
void inactivas::onScroll(int value)
{
    const int n = loadedRows();
    int k = 0;
    for (int i = 1; i < kSlots; ++i) {
        QueueSlot &s = slots_[i];
        if (!s.e.used || !s.indicador)
            continue;
        const int top = kHeaderHeight + (k - n * value / 100) * kRowPitch;
        s.indicador->move(0, twipsToPixels(top));
        s.indicador->setVisible(top >= kHeaderHeight);
        ++k;
    }
}

bool inactivas::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == frame_ && event->type() == QEvent::MouseButtonPress)
        clearSelection();
    return QWidget::eventFilter(watched, event);
}

void inactivas::selectRow(int i)
{
    if (!existe(i))
        return;
    selected_ = i;
    for (int k = 1; k < kSlots; ++k)
        if (slots_[k].e.used && slots_[k].indicador)
            slots_[k].indicador->setSelected(k == i);
    updateCommands();
}

void inactivas::clearSelection()
{
    selected_ = 0;
    for (int k = 1; k < kSlots; ++k)
        if (slots_[k].e.used && slots_[k].indicador)
            slots_[k].indicador->setSelected(false);
    updateCommands();
}

void inactivas::rowReleased(int i, int button)
{
    if (button != kRightButton || !existe(i))
        return;
    selectRow(i);
    emit rowMenuRequested(QCursor::pos());
}

void inactivas::showDetails(int i)
{
    selectRow(i);
    if (!existe(i))
        return;
    const DownloadEntry &e = slots_[i].e;
    detallado dialog(this);
    dialog.setFile(e.file);
    dialog.setActsize(bytesText(e.position));
    dialog.setTotalsize(bytesText(e.size));
    // The pie takes 32-bit values: large files are scaled down alike.
    qint64 max = e.size;
    qint64 value = e.position;
    while (max > std::numeric_limits<qint32>::max() || value > std::numeric_limits<qint32>::max()) {
        max /= 2;
        value /= 2;
    }
    dialog.pie()->setMaxValue(qint32(max));
    dialog.pie()->setValue(qint32(value));
    // A download never started has position 0: nothing fetched, not -1.
    dialog.setDownloaded(u"Descargados "_s + QString::number(qMax<qint64>(0, e.position - 1)) + u" de "_s
                         + QString::number(e.size));
    dialog.setTiempo(formatElapsed(e.elapsed));
    dialog.setDestino(e.file);
    dialog.setUrl(e.url);
    dialog.setEstado(u"Pausado"_s);
    dialog.setAllowredo(e.resumable);
    platform::prompts().execDialog(dialog);
}
