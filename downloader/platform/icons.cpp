#include "platform/icons.h"

#include <QAction>
#include <QFile>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {
Q_LOGGING_CATEGORY(lcIcons, "tandrel.icons")
} // namespace

namespace platform {

QIcon themedIcon(const QString &themeName)
{
    const QString own = u":/icons/"_s + themeName + u".svg"_s;
    // A name we have no drawing for is a slip of ours; say so rather than show nothing.
    if (!QFile::exists(own))
        qCWarning(lcIcons) << "no drawing of our own for" << themeName;
    return QIcon::fromTheme(themeName, QIcon(own));
}

QIcon programIcon()
{
    return QIcon(u":/icons/tandrel.svg"_s);
}

QList<QKeySequence> standardKeys(QKeySequence::StandardKey key, const QKeySequence &usual)
{
    const QList<QKeySequence> bound = QKeySequence::keyBindings(key);
    return bound.isEmpty() ? QList<QKeySequence>{usual} : bound;
}

QString tipWithKeys(const QString &tip, const QKeySequence &keys)
{
    if (keys.isEmpty())
        return tip;
    return tip + u" ("_s + keys.toString(QKeySequence::NativeText) + u')';
}

QAction *addWindowKey(QWidget *window, const QKeySequence &keys, QAction *button)
{
    auto *key = new QAction(window);
    key->setShortcut(keys);
    key->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    window->addAction(key);
    if (button)
        button->setToolTip(tipWithKeys(button->toolTip(), keys));
    return key;
}

void reachableByKeyboard(QWidget *window, QWidget *rows, QToolBar *bar)
{
    rows->setFocusPolicy(Qt::StrongFocus);
    window->setFocusProxy(rows);
    // A toolbar's keys take no focus of their own; these are the list's commands.
    for (QAction *a : bar->actions())
        if (auto *key = qobject_cast<QToolButton *>(bar->widgetForAction(a)))
            key->setFocusPolicy(Qt::TabFocus);
}

TabChain::TabChain(const QList<QWidget *> &stops, QObject *parent) : QObject(parent)
{
    for (QWidget *stop : stops) {
        stops_ << stop;
        // The key reaches the widget with the focus: a combo box's line edit, say.
        stop->installEventFilter(this);
        for (QWidget *inner : stop->findChildren<QWidget *>())
            inner->installEventFilter(this);
    }
}

bool TabChain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    const bool back =
        key->key() == Qt::Key_Backtab || (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier));
    if (!back && key->key() != Qt::Key_Tab)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    const qsizetype n = stops_.size();
    qsizetype at = -1;
    for (qsizetype i = 0; i < n && at < 0; ++i)
        if (stops_[i] && (stops_[i] == widget || stops_[i]->isAncestorOf(widget)))
            at = i;
    if (at < 0)
        return false;
    for (qsizetype step = 1; step < n; ++step) {
        QWidget *next = stops_[(at + (back ? n - step : step)) % n];
        if (next && next->isVisible() && next->isEnabled() && (next->focusPolicy() & Qt::TabFocus)) {
            next->setFocus(back ? Qt::BacktabFocusReason : Qt::TabFocusReason);
            return true;
        }
    }
    return false;
}

} // namespace platform
