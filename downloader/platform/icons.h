#pragma once

#include <QIcon>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QAction;
class QToolBar;
class QWidget;

namespace platform {

// How the windows' commands look and are reached: icons, keys, tab order.

// The desktop theme's icon of this freedesktop name, or our own drawing of it
// (":/icons/<name>.svg") where the theme has none or there is no theme.
QIcon themedIcon(const QString &themeName);

// The program's own icon: every window, sub-window and the tray show it
// rather than the toolkit's.
QIcon programIcon();

// The platform's keys for a standard command, or usual where the platform
// binds none (Ctrl+Q to quit, Ctrl+, for the settings).
QList<QKeySequence> standardKeys(QKeySequence::StandardKey key, const QKeySequence &usual);

// A toolbar key's tip with the keys that do the same, "Cancelar descarga (Supr)".
QString tipWithKeys(const QString &tip, const QKeySequence &keys);

// A key acting on one list window: it works while the focus is anywhere in
// window, so two lists side by side each take their own. button's tip names it.
QAction *addWindowKey(QWidget *window, const QKeySequence &keys, QAction *button);

// Lets the keyboard into a list window: rows takes the focus by click and by
// Tab, and is where the window's focus goes; bar's keys are reached by Tab.
void reachableByKeyboard(QWidget *window, QWidget *rows, QToolBar *bar);

// Tab and Shift+Tab go through stops in this order and round again. A
// sub-window keeps Tab inside itself; this carries it on to the next one.
// Hidden and disabled stops are passed over.
class TabChain : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TabChain)
public:
    TabChain(const QList<QWidget *> &stops, QObject *parent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<QPointer<QWidget>> stops_;
};

} // namespace platform
