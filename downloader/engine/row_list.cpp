#include "engine/row_list.h"

#include "platform/twips.h"
#include "rows/download.h"
#include "rows/row_columns.h"

#include <QLabel>
#include <QScrollBar>

using namespace Qt::StringLiterals;
using platform::pixelsToTwips;
using platform::twipsToPixels;

namespace {

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
    const QStringList captions = {u"Archivo"_s, u"Progreso"_s, QString::fromUtf16(kPercentCaption),
                                  u"Bytes descargados"_s, u"URL"_s};
    for (int k = 0; k < 5; ++k) {
        headers_[k] = new QLabel(captions[k], frame_);
        headers_[k]->setObjectName(names[k]);
        // A narrow window cuts a head short; its whole caption is a hover away.
        headers_[k]->setToolTip(captions[k]);
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
        frameWidth = windowWidth - kRightEdge;
        scroll_->hide();
        scroll_->setValue(0);
    } else {
        scroll_->show();
        frameWidth = windowWidth - kScrollWidth - kRightEdge;
        placeTwips(scroll_, left + frameWidth, top, kScrollWidth, frameHeight - 50);
    }
    placeTwips(frame_, left, top, frameWidth, frameHeight);

    // The heads take the rows' own columns, so each stands over its column.
    const RowColumns c = rowColumns(rowWidth(), percentColumnWidth(headers_[2]->fontMetrics()));
    for (int k = 0; k < 5; ++k) {
        QLabel *head = headers_[k];
        placeTwips(head, c.left[k], 0, c.width[k], kHeaderHeight);
        // A head cut short says so with an ellipsis; its tooltip is whole.
        head->setText(head->fontMetrics().elidedText(head->toolTip(), Qt::ElideRight, head->contentsRect().width()));
    }
    return frameWidth;
}

void RowList::placeRows(const QList<download *> &rows, int loadedRows, int pitch) const
{
    const int width = twipsToPixels(rowWidth());
    const int value = scroll_->value();
    for (qsizetype k = 0; k < rows.size(); ++k) {
        const int top = kHeaderHeight + (int(k) - loadedRows * value / 100) * pitch;
        rows[k]->resize(width, rows[k]->height());
        rows[k]->move(0, twipsToPixels(top));
        rows[k]->setVisible(top >= kHeaderHeight);
    }
}

int RowList::rowWidth() const
{
    // Room on the right for the rows' own edge.
    return pixelsToTwips(twipsToPixels(pixelsToTwips(frame_->width()) - 300));
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
