#include "engine/row_list.h"

#include "platform/twips.h"
#include "rows/download.h"

#include <QLabel>
#include <QScrollBar>

using namespace Qt::StringLiterals;
using platform::pixelsToTwips;
using platform::twipsToPixels;

namespace {
constexpr int kPorcientoWidth = 1000;
constexpr int kScrollWidth = 255;

void placeTwips(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(twipsToPixels(left), twipsToPixels(top), qMax(0, twipsToPixels(width)),
                   qMax(0, twipsToPixels(height)));
}
} // namespace

void RowList::build(QWidget *window)
{
    frame_ = new QWidget(window);
    frame_->setObjectName(u"frame"_s);
    frame_->setAutoFillBackground(true);
    QPalette pal = frame_->palette();
    pal.setColor(QPalette::Window, Qt::white);
    frame_->setPalette(pal);
    frame_->installEventFilter(window);

    const QStringList names = {u"filename"_s, u"avance"_s, u"porciento"_s, u"nbytes"_s, u"urll"_s};
    const QStringList captions = {u"Archivo"_s, u"Progreso"_s, u"Porcentaje"_s, u"Bytes descargados"_s, u"URL"_s};
    for (int k = 0; k < 5; ++k) {
        headers_[k] = new QLabel(captions[k], frame_);
        headers_[k]->setObjectName(names[k]);
        headers_[k]->setFrameShape(QFrame::Panel);
        headers_[k]->setFrameShadow(QFrame::Raised);
        headers_[k]->setAutoFillBackground(true);
    }

    template_ = new download(frame_);
    template_->setObjectName(u"indicador0"_s);
    template_->move(0, twipsToPixels(kHeaderHeight));
    template_->hide();

    scroll_ = new QScrollBar(Qt::Vertical, window);
    scroll_->setObjectName(u"scroll"_s);
    scroll_->setRange(0, 100);
    scroll_->hide();
}

int RowList::layout(int left, int top, int windowWidth, int frameHeight, int rowCount, int pitch)
{
    int frameWidth = 0;
    if (rowCount * pitch <= frameHeight) {
        frameWidth = windowWidth - 150;
        scroll_->hide();
        scroll_->setValue(0);
    } else {
        scroll_->show();
        frameWidth = windowWidth - kScrollWidth - 150;
        placeTwips(scroll_, left + frameWidth, top, kScrollWidth, frameHeight - 50);
    }
    placeTwips(frame_, left, top, frameWidth, frameHeight);

    const int c = qRound((frameWidth - kPorcientoWidth) / 4.0);
    placeTwips(headers_[0], 0, 0, c, kHeaderHeight);
    placeTwips(headers_[1], c - 20, 0, c, kHeaderHeight);
    const int porcientoLeft = 2 * c - 40;
    placeTwips(headers_[2], porcientoLeft, 0, kPorcientoWidth, kHeaderHeight);
    const int nbytesLeft = porcientoLeft + kPorcientoWidth - 20;
    placeTwips(headers_[3], nbytesLeft, 0, c, kHeaderHeight);
    placeTwips(headers_[4], nbytesLeft + c - 20, 0, c, kHeaderHeight);
    return frameWidth;
}

void RowList::placeRows(const QList<download *> &rows, int loadedRows, int pitch) const
{
    const int width = twipsToPixels(pixelsToTwips(frame_->width()) - 300);
    const int value = scroll_->value();
    for (qsizetype k = 0; k < rows.size(); ++k) {
        const int top = kHeaderHeight + (int(k) - loadedRows * value / 100) * pitch;
        rows[k]->resize(width, rows[k]->height());
        rows[k]->move(0, twipsToPixels(top));
        rows[k]->setVisible(top >= kHeaderHeight);
    }
}

void RowList::dropRow(download *&row, QObject *window)
{
    if (!row)
        return;
    row->disconnect(window);
    row->hide();
    row->deleteLater();
    row = nullptr;
}
