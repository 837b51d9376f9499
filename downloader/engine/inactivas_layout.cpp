// The queue window's toolbar and list area: headers, packed rows, the scroll
// bar shown only when the rows overflow, selection and the details dialog.
#include "engine/inactivas.h"

#include "dialogs/detallado.h"
#include "engine/details_fill.h"
#include "platform/icons.h"
#include "platform/prompts.h"
#include "platform/twips.h"
#include "rows/download.h"

#include <QAction>
#include <QCursor>
#include <QEvent>
#include <QLabel>
#include <QScrollBar>
#include <QToolBar>

using namespace Qt::StringLiterals;
using platform::pixelsToTwips;
using platform::twipsToPixels;

namespace {
// Design sizes, in twips.
constexpr int kFrameLeft = 60;
constexpr int kFrameTop = 600; // room for the toolbar
constexpr int kToolbarHeight = 540;
constexpr int kRightButton = 2;

void placeTwips(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(twipsToPixels(left), twipsToPixels(top), qMax(0, twipsToPixels(width)),
                   qMax(0, twipsToPixels(height)));
}

QAction *toolButton(QToolBar *bar, const QString &key, const QString &tip, const QString &icon)
{
    QAction *action = bar->addAction(platform::themedIcon(icon), tip);
    action->setObjectName(key);
    action->setToolTip(tip);
    return action;
}
} // namespace

void inactivas::buildLayout()
{
    opciones_ = new QToolBar(this);
    opciones_->setObjectName(u"opciones"_s);
    detener_ = toolButton(opciones_, u"detener"_s, u"Eliminar descarga de la lista"_s, u"edit-delete"_s);
    continuar_ = toolButton(opciones_, u"continuar"_s, u"Continuar descarga"_s, u"media-playback-start"_s);
    opciones_->addSeparator();
    bloquear_ = toolButton(opciones_, u"bloquear"_s, u"Bloquear/desbloquear descarga"_s, u"object-locked"_s);
    bloquear_->setCheckable(true);
    connect(detener_, &QAction::triggered, this, &inactivas::CallCancel);
    connect(continuar_, &QAction::triggered, this, &inactivas::CallContinue);
    connect(bloquear_, &QAction::triggered, this, &inactivas::bloquear);
    // The same keys as on the active list; each list takes them while it has the focus.
    connect(platform::addWindowKey(this, QKeySequence::Delete, detener_), &QAction::triggered, this,
            &inactivas::CallCancel);
    connect(platform::addWindowKey(this, QKeySequence(Qt::CTRL | Qt::Key_R), continuar_), &QAction::triggered, this,
            &inactivas::CallContinue);

    list_.build(this);
    frame_ = list_.frame();
    platform::reachableByKeyboard(this, frame_, opciones_);
    scroll_ = list_.scroll();
    rows_[0] = list_.templateRow();
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
    list_.layout(kFrameLeft, kFrameTop, width, frameHeight, loadedRows() - 1, kRowPitch);
    onScroll(scroll_->value());
}

void inactivas::onScroll(int)
{
    list_.placeRows(RowList::usedRows(kSlots, [this](int i) { return shownRow(i); }), loadedRows(), kRowPitch);
}

bool inactivas::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == frame_ && event->type() == QEvent::MouseButtonPress)
        clearSelection();
    // Up and down walk the rows, so the keys have a download to act on.
    if (watched == frame_
        && RowList::walkRows(
            event, kSlots, selected_, [this](int i) { return existe(i); }, [this](int i) { selectRow(i); }))
        return true;
    return QWidget::eventFilter(watched, event);
}

void inactivas::selectRow(int i)
{
    if (!existe(i))
        return;
    selected_ = i;
    RowList::markSelected(
        kSlots, [this](int k) { return shownRow(k); }, i);
    updateCommands();
}

void inactivas::clearSelection()
{
    selected_ = 0;
    RowList::markSelected(
        kSlots, [this](int k) { return shownRow(k); }, 0);
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
    detallado dialog(this);
    fillDetailsDialog(dialog, entry(i), u"Pausado"_s);
    platform::prompts().execDialog(dialog);
}
