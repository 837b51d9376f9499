// The main window as a keyboard user and the eye meet it: the quick-add box
// adds what was typed, the shortcuts, the tab order, the icons with no icon
// theme, and the labelled counts panel.
#include "core/list_file.h"
#include "core/settings_file.h"
#include "cpindle.h"
#include "dialogs/about.h"
#include "engine/activas.h"
#include "engine/inactivas.h"
#include "main/mainwindow.h"
#include "platform/icons.h"
#include "scripted_prompts.h"
#include "test_folder.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCompleter>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QWidgetAction>

using namespace Qt::StringLiterals;

namespace {
// Downloads the test never reaches: port 9 refuses, and they wait for a retry.
QByteArray listOf(const testing::TestFolder &folder, const QStringList &names, ListKind kind)
{
    QList<ListRecord> records;
    for (const QString &name : names) {
        ListRecord r;
        r.url = u"http://127.0.0.1:9/"_s + name;
        r.file = folder.file(name);
        records << r;
    }
    return encodeListFile(records, kind);
}

void writeSettings(const testing::TestFolder &folder)
{
    SettingsValues v = defaultSettings(folder.path());
    v.defdir = folder.path() + u'/';
    v.wavs = false;
    v.msgdialog = false;
    folder.write(u"tandrel.ini"_s, encodeSettings(v));
}

// Where a key goes: an open popup takes the keyboard, else the focus.
QWidget *keyTarget()
{
    QWidget *popup = QApplication::activePopupWidget();
    return popup ? popup : QApplication::focusWidget();
}

bool activate(QWidget &window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// Every command a menu, a popup menu or a toolbar of the window offers.
QList<QAction *> commands(const MainWindow &window)
{
    QList<QAction *> all;
    QList<QMenu *> menus = window.menuBar()->findChildren<QMenu *>();
    menus << window.findChild<QMenu *>(u"menu"_s) << window.findChild<QMenu *>(u"menu2"_s);
    for (QMenu *menu : menus)
        for (QAction *a : menu->actions())
            if (a->isEnabled()) // a disabled line saying the menu is empty is no command
                all << a;
    for (QToolBar *bar : window.findChildren<QToolBar *>())
        all << bar->actions();
    QList<QAction *> found;
    for (QAction *a : all)
        if (!a->isSeparator() && !a->menu() && !qobject_cast<QWidgetAction *>(a) && !found.contains(a))
            found << a;
    return found;
}
} // namespace

class TstKeyboard : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void enterAddsWhatWasTyped_data();
    void enterAddsWhatWasTyped();
    void pickingFromTheHistoryTakesTheEntry();
    void shortcutsShownInTheMenus_data();
    void shortcutsShownInTheMenus();
    void eachListTakesItsOwnKeys();
    void ctrlVPastesIntoTheQuickAddBox();
    void tabWalksTheBarThenTheLists();
    void everyCommandHasAPictureWithoutATheme();
    void ourDrawingsDraw();
    void windowsShowTheProgramIcon();
    void countsPanelIsLabelled();
};

void TstKeyboard::initTestCase()
{
    // No desktop theme: every picture must come from our own drawings.
    QIcon::setThemeName(u"no-such-theme"_s);
    QIcon::setFallbackThemeName(u"no-such-theme"_s);
}

void TstKeyboard::enterAddsWhatWasTyped_data()
{
    QTest::addColumn<QString>("history");
    QTest::addColumn<QString>("typed");
    QTest::newRow("a prefix of an entry") << u"http://127.0.0.1:9/sub/8M.bin"_s << u"http://127.0.0.1:9/sub"_s;
    QTest::newRow("an entry but for case") << u"http://127.0.0.1:9/Sub/A.bin"_s << u"http://127.0.0.1:9/sub/a.bin"_s;
    QTest::newRow("the entry itself") << u"http://127.0.0.1:9/x.bin"_s << u"http://127.0.0.1:9/x.bin"_s;
}

void TstKeyboard::enterAddsWhatWasTyped()
{
    QFETCH(QString, history);
    QFETCH(QString, typed);
    testing::ScriptedPrompts prompts;
    testing::TestFolder folder;
    writeSettings(folder);
    folder.write(u"quick.lst"_s, history.toUtf8() + "\r\n");
    MainWindow window;
    QVERIFY(activate(window));
    QLineEdit *box = window.quickadd()->lineEdit();
    window.quickadd()->setFocus();
    QTest::keyClicks(box, typed);
    QCOMPARE(box->text(), typed); // nothing filled in behind the cursor
    QTest::keyClick(keyTarget(), Qt::Key_Return);
    QCOMPARE(prompts.messages().join(u"|"_s), QString());
    QVERIFY(window.active()->existe(1));
    QCOMPARE(window.active()->entry(1).url, typed);
    QVERIFY(!window.active()->existe(2));
    QStringList items;
    for (int i = 0; i < window.quickadd()->count(); ++i)
        items << window.quickadd()->itemText(i);
    QCOMPARE(items.count(typed), 1);
    QVERIFY(items.contains(history));
    QCOMPARE(window.quickadd()->currentText(), QString());
    window.CallUnload();
}

// The history is there to be chosen from: down to the entry, Enter.
void TstKeyboard::pickingFromTheHistoryTakesTheEntry()
{
    testing::ScriptedPrompts prompts;
    testing::TestFolder folder;
    writeSettings(folder);
    folder.write(u"quick.lst"_s, "http://127.0.0.1:9/sub/8M.bin\r\nhttp://127.0.0.1:9/otro.bin\r\n");
    MainWindow window;
    QVERIFY(activate(window));
    QLineEdit *box = window.quickadd()->lineEdit();
    window.quickadd()->setFocus();
    QTest::keyClicks(box, u"http://127.0.0.1:9/s"_s);
    QAbstractItemView *popup = window.quickadd()->completer()->popup();
    QTRY_VERIFY(popup->isVisible());
    QCOMPARE(popup->model()->rowCount(), 1);
    QCOMPARE(keyTarget(), popup);
    QTest::keyClick(keyTarget(), Qt::Key_Down);
    QCOMPARE(box->text(), u"http://127.0.0.1:9/sub/8M.bin"_s);
    QTest::keyClick(keyTarget(), Qt::Key_Return);
    QCOMPARE(prompts.messages(), QStringList());
    QCOMPARE(window.active()->entry(1).url, u"http://127.0.0.1:9/sub/8M.bin"_s);
    QVERIFY(!window.active()->existe(2));
    window.CallUnload();
}

void TstKeyboard::shortcutsShownInTheMenus_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("keys");
    QTest::newRow("new address") << u"archivo"_s << u"newurl"_s << u"Ctrl+N"_s;
    QTest::newRow("paste an address") << u"archivo"_s << u"pegar"_s << u"Ctrl+V"_s;
    QTest::newRow("quit") << u"archivo"_s << u"salir"_s << u"Ctrl+Q"_s;
    QTest::newRow("settings") << u"herramientas"_s << u"opciones"_s << u"Ctrl+,"_s;
    QTest::newRow("help") << u"ayuda"_s << u"ayudab"_s << u"F1"_s;
    QTest::newRow("cancel an active one") << u"menu"_s << u"cancelar"_s << u"Del"_s;
    QTest::newRow("pause") << u"menu"_s << u"pausar"_s << u"Ctrl+P"_s;
    QTest::newRow("continue an active one") << u"menu"_s << u"continuar"_s << u"Ctrl+R"_s;
    QTest::newRow("cancel a queued one") << u"menu2"_s << u"cancelar2"_s << u"Del"_s;
    QTest::newRow("continue a queued one") << u"menu2"_s << u"continuar2"_s << u"Ctrl+R"_s;
}

void TstKeyboard::shortcutsShownInTheMenus()
{
    QFETCH(QString, menu);
    QFETCH(QString, item);
    QFETCH(QString, keys);
    testing::ScriptedPrompts prompts;
    testing::TestFolder folder;
    MainWindow window;
    auto *shown = window.findChild<QMenu *>(menu);
    QVERIFY(shown);
    QAction *a = shown->findChild<QAction *>(item);
    QVERIFY2(a && shown->actions().contains(a), qPrintable(item));
    QCOMPARE(a->shortcut().toString(QKeySequence::PortableText), keys);
    QVERIFY(a->isShortcutVisibleInContextMenu());
    window.CallUnload();
}

// Down selects a row of the list with the focus; Delete, Ctrl+P and Ctrl+R
// act on that list's row and no other.
void TstKeyboard::eachListTakesItsOwnKeys()
{
    testing::ScriptedPrompts prompts;
    testing::TestFolder folder;
    writeSettings(folder);
    folder.write(u"activas.dwn"_s, listOf(folder, {u"activa.bin"_s}, ListKind::Active));
    folder.write(u"inactivas.dwn"_s, listOf(folder, {u"cola.bin"_s}, ListKind::Inactive));
    MainWindow window;
    QVERIFY(activate(window));
    activas *active = window.active();
    inactivas *queue = window.queue();

    active->setFocus();
    QTRY_VERIFY(active->isAncestorOf(QApplication::focusWidget()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(active->selected(), 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
    QCOMPARE(prompts.asked.size(), 1);
    QCOMPARE(prompts.asked.last().text,
             u"¿Seguro que desea cancelar la transferencia de "_s + folder.file(u"activa.bin"_s) + u"?"_s);
    // Not resumable: pausing asks first. The answer is no.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(prompts.asked.size(), 2);
    QVERIFY(prompts.asked.last().text.startsWith(u"Advertencia: Este servidor no soporta la reanudación"_s));
    QVERIFY(active->existe(1) && queue->existe(1));

    queue->setFocus();
    QTRY_VERIFY(queue->isAncestorOf(QApplication::focusWidget()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(queue->selected(), 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
    QCOMPARE(prompts.asked.size(), 3);
    QCOMPARE(prompts.asked.last().text,
             u"¿Seguro que desea cancelar la transferencia de "_s + folder.file(u"cola.bin"_s) + u"?"_s);
    // Continue moves the queued one to the active list.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_R, Qt::ControlModifier);
    QVERIFY(!queue->existe(1));
    QCOMPARE(active->loadedRows(), 3);
    QCOMPARE(prompts.asked.size(), 3);
    window.CallUnload();
}

void TstKeyboard::ctrlVPastesIntoTheQuickAddBox()
{
    testing::ScriptedPrompts prompts;
    testing::TestFolder folder;
    MainWindow window;
    QVERIFY(activate(window));
    window.action(u"viequickadd"_s)->trigger(); // a hidden bar comes back for it
    QApplication::clipboard()->setText(u"\n  http://127.0.0.1:9/pegado.bin \nhttp://127.0.0.1:9/otro.bin"_s);
    window.queue()->setFocus();
    QTRY_VERIFY(window.queue()->isAncestorOf(QApplication::focusWidget()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(window.quickadd()->currentText(), u"http://127.0.0.1:9/pegado.bin"_s);
    QVERIFY(window.findChild<QToolBar *>(u"quickbar"_s)->isVisible());
    QTRY_VERIFY(window.quickadd()->hasFocus() || window.quickadd()->lineEdit()->hasFocus());
    QVERIFY(!window.active()->existe(1)); // nothing added until the user says so

    // A text field with the focus keeps its own Ctrl+V.
    window.quickadd()->lineEdit()->setText(u"http://"_s);
    window.quickadd()->lineEdit()->end(false);
    QApplication::clipboard()->setText(u"host/b.bin"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(window.quickadd()->currentText(), u"http://host/b.bin"_s);
    window.CallUnload();
}

void TstKeyboard::tabWalksTheBarThenTheLists()
{
    testing::ScriptedPrompts prompts;
    testing::TestFolder folder;
    MainWindow window;
    QVERIFY(activate(window));
    window.quickadd()->setFocus();
    QTRY_VERIFY(QApplication::focusWidget());
    const auto tab = [](Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifiers);
        return QApplication::focusWidget();
    };
    QCOMPARE(tab(), window.findChild<QPushButton *>(u"addquick"_s));
    QWidget *rows = tab();
    QVERIFY(window.active()->isAncestorOf(rows));
    // Its toolbar's keys follow the list, each on its way to the queue.
    int keys = 0;
    QWidget *next = tab();
    for (; window.active()->isAncestorOf(next) && keys < 20; next = tab())
        QVERIFY2(qobject_cast<QToolBar *>(next->parentWidget()) && ++keys, next->metaObject()->className());
    QVERIFY(keys > 0);
    QCOMPARE(next, window.queue()->focusProxy());
    // Nothing queued is selected, so its keys are off: round to the start, and back.
    QCOMPARE(tab(), window.quickadd());
    QCOMPARE(tab(Qt::ShiftModifier), window.queue()->focusProxy());
    QVERIFY(window.active()->isAncestorOf(tab(Qt::ShiftModifier)));
    window.CallUnload();
}

void TstKeyboard::everyCommandHasAPictureWithoutATheme()
{
    testing::ScriptedPrompts prompts;
    testing::TestFolder folder;
    MainWindow window;
    const QList<QAction *> all = commands(window);
    QVERIFY(all.size() > 40);
    for (const QAction *a : all) {
        const QString name = a->objectName() + u" "_s + a->text();
        QVERIFY2(!a->icon().isNull() && !a->icon().pixmap(16).isNull(), qPrintable(name));
    }
    for (QMenu *menu : window.menuBar()->findChildren<QMenu *>())
        QVERIFY2(!menu->icon().isNull() || menu->parentWidget() == window.menuBar(), qPrintable(menu->title()));
    QVERIFY(!window.findChild<QPushButton *>(u"addquick"_s)->icon().isNull());
    window.CallUnload();
}

// Each drawing of ours is a picture at the toolbar sizes, not an empty square.
void TstKeyboard::ourDrawingsDraw()
{
    int drawings = 0;
    for (QDirIterator it(u":/icons"_s); it.hasNext(); ++drawings) {
        const QString path = it.next();
        for (int size : {16, 22}) {
            const QImage picture = QIcon(path).pixmap(size).toImage();
            QVERIFY2(picture.width() == size, qPrintable(path));
            int painted = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    painted += qAlpha(picture.pixel(x, y)) > 128;
            QVERIFY2(painted > size * size / 10, qPrintable(path));
        }
    }
    QVERIFY(drawings > 20);
}

void TstKeyboard::windowsShowTheProgramIcon()
{
    testing::ScriptedPrompts prompts;
    testing::TestFolder folder;
    MainWindow window;
    const QImage own = platform::programIcon().pixmap(32).toImage();
    QVERIFY(!own.isNull());
    QCOMPARE(window.windowIcon().pixmap(32).toImage(), own);
    QCOMPARE(window.aboutWindow()->trayIcon()->TrayIcon().pixmap(32).toImage(), own);
    const QStringList children = {u"viewweb"_s, u"viewactivas"_s, u"viewinactivas"_s, u"viewhist"_s,
                                  u"viewestadisticas"_s};
    for (const QString &name : children) {
        QMdiSubWindow *sub = window.childWindow(name);
        QVERIFY2(!sub->windowIcon().isNull(), qPrintable(name));
        QCOMPARE(sub->windowIcon().pixmap(16).toImage(), window.action(name)->icon().pixmap(16).toImage());
    }
    window.CallUnload();
}

void TstKeyboard::countsPanelIsLabelled()
{
    testing::ScriptedPrompts prompts;
    testing::TestFolder folder;
    folder.write(u"activas.dwn"_s, listOf(folder, {u"a.bin"_s, u"b.bin"_s}, ListKind::Active));
    folder.write(u"inactivas.dwn"_s, listOf(folder, {u"c.bin"_s}, ListKind::Inactive));
    MainWindow window;
    QVERIFY(activate(window));
    auto *caption = window.findChild<QLabel *>(u"descargasTitulo"_s);
    auto *figures = window.findChild<QLabel *>(u"descargas"_s);
    QVERIFY(caption && caption->isVisible() && figures->isVisible());
    QCOMPARE(caption->text() + u" "_s + figures->text(), u"Activas/Total: 2/3"_s);
    QCOMPARE(window.statusText(1), u"2/3"_s);
    // Side by side, the caption first.
    QCOMPARE(caption->parentWidget(), figures->parentWidget());
    QVERIFY(caption->geometry().right() < figures->geometry().left());
    window.CallUnload();
}

QTEST_MAIN(TstKeyboard)
#include "tst_keyboard.moc"
