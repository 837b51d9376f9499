// The active window's list area: headers, packed rows, the scroll bar shown
// only when the rows overflow, and the details panel under the list.
#include "engine/activas.h"

#include "core/figures.h"
#include "platform/icons.h"
#include "platform/twips.h"
#include "rows/download.h"

#include <QAction>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolBar>

#include <tuple>

using namespace Qt::StringLiterals;
using platform::pixelsToTwips;
using platform::twipsToPixels;

namespace {
// Design sizes, in twips.
constexpr int kFrameLeft = 60;
constexpr int kFrameTop = 600;   // room for the window's toolbar
constexpr int kInfHeight = 1500; // at least; a larger font gets what its rows need

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
    const std::pair<const char16_t *, const char16_t *> icons[] = {
        {u"detener", u"process-stop"},   {u"pausar", u"media-playback-pause"},
        {u"continuar", u"view-refresh"}, {u"delend", u"edit-delete"},
        {u"open", u"system-run"},        {u"antivirus", u"security-high"},
        {u"apagar", u"system-shutdown"},
    };
    for (const auto &[key, icon] : icons)
        command(QString::fromUtf16(key))->setIcon(platform::themedIcon(QString::fromUtf16(icon)));
    // The keys go through the menus' path, which looks at the row's state
    // again first: a button's enabled state may be a moment old.
    const std::tuple<const char16_t *, QKeySequence, void (activas::*)()> keys[] = {
        {u"detener", QKeySequence(QKeySequence::Delete), &activas::CallCancel},
        {u"pausar", QKeySequence(Qt::CTRL | Qt::Key_P), &activas::CallPause},
        {u"continuar", QKeySequence(Qt::CTRL | Qt::Key_R), &activas::CallContinue},
    };
    for (const auto &[key, sequence, call] : keys)
        connect(platform::addWindowKey(this, sequence, command(QString::fromUtf16(key))), &QAction::triggered, this,
                call);

    list_.build(this);
    frame_ = list_.frame();
    platform::reachableByKeyboard(this, frame_, opciones_);
    scroll_ = list_.scroll();
    rows_[0] = list_.templateRow();
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
    // A long address must not widen the panel past the window; it is cut on
    // the right, and shown whole on hover.
    urlt_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    inf_->installEventFilter(this);
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
    const int infHeight = qMax(kInfHeight, pixelsToTwips(inf_->sizeHint().height()));
    const int frameHeight = qMax(0, height - 1100 - infHeight);
    const int frameWidth = list_.layout(kFrameLeft, kFrameTop, width, frameHeight, loadedRows() - 1, kRowPitch);
    placeTwips(opciones_, 0, 0, width, kFrameTop - 30);
    placeTwips(inf_, kFrameLeft, kFrameTop + frameHeight + 40, frameWidth, infHeight);
    onScroll(scroll_->value());
}

void activas::onScroll(int)
{
    list_.placeRows(RowList::usedRows(kSlots, [this](int i) { return shownRow(i); }), loadedRows(), kRowPitch);
}

bool activas::eventFilter(QObject *watched, QEvent *event)
{
    // The panel's rows grew (a title, a larger font): the list gives way, and
    // the window never gets narrower than the panel's values.
    if (watched == inf_ && event->type() == QEvent::LayoutRequest) {
        setMinimumWidth(inf_->minimumSizeHint().width()
                        + twipsToPixels(kFrameLeft + RowList::kRightEdge + RowList::kScrollWidth));
        layoutList();
    }
    if (watched == frame_ && event->type() == QEvent::MouseButtonPress)
        clearSelection();
    // Up and down walk the rows, so the keys have a download to act on.
    if (watched == frame_
        && RowList::walkRows(
            event, kSlots, selected_, [this](int i) { return existe(i); }, [this](int i) { selectRow(i); }))
        return true;
    return QWidget::eventFilter(watched, event);
}

void activas::selectRow(int i)
{
    if (!existe(i))
        return;
    selected_ = i;
    RowList::markSelected(
        kSlots, [this](int k) { return shownRow(k); }, i);
    updateCommands();
    fillDetails(i);
}

void activas::clearSelection()
{
    selected_ = 0;
    RowList::markSelected(
        kSlots, [this](int k) { return shownRow(k); }, 0);
    updateCommands();
    clearDetails();
}

void activas::fillDetails(int i)
{
    const Slot &s = table_->slot(i);
    inf_->setTitle(u"Información detallada de "_s + s.e.file);
    velmedia_->setText(QString::number(s.e.speed) + u" Kb/seg"_s);
    tiempou_->setText(formatElapsed(s.e.elapsed));
    allowredoc_->setText(s.e.resumable ? u"X"_s : QString());
    if (s.e.speed < 1)
        tiemporest_->setText(u"*"_s);
    else
        tiemporest_->setText(formatElapsed(roundHalfEven((double(s.e.size - bytesOnDisk(s.e)) / 1024.0) / s.e.speed)));
    urlt_->setText(s.e.url);
    urlt_->setToolTip(s.e.url);
    porcientot_->setText(s.e.size < 1 ? u"*"_s : numberText(percentOnDisk(s.e)) + u"%"_s);
    bytest_->setText(panelBytesText(s.e));
}

QString panelBytesText(const DownloadEntry &e)
{
    return QString::number(bytesOnDisk(e)) + u"/"_s + QString::number(e.size);
}

void activas::clearDetails()
{
    for (QLabel *field : {allowredoc_, urlt_, velmedia_, porcientot_, tiempou_, tiemporest_, bytest_})
        field->clear();
    urlt_->setToolTip(QString());
    inf_->setTitle(QString());
}
