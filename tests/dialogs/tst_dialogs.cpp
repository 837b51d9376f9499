#include "dialogs/about.h"
#include "dialogs/detallado.h"
#include "dialogs/folder.h"
#include "scripted_prompts.h"

#include <cpindle.h>
#include <recording_tray_backend.h>
#include <tarta.h>

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;
using pindle::NotifyCommand;
using pindle::RecordingTrayBackend;

Q_DECLARE_METATYPE(pindle::NotifyCommand)

namespace {

// An about window whose tray menu never opens; it notes the shutdown check
// as the menu would have shown it.
class QuietAbout : public about {
public:
    QList<bool> shownChecks;

protected:
    void popUpMenu(const QPoint &) override
    {
        shownChecks << trayMenu()->findChild<QAction *>(u"shutdown"_s)->isChecked();
    }
};

// Tray controls made while it lives only record what they are told.
struct RecordingTrays {
    RecordingTrays()
    {
        pindle::setTrayBackendFactory([] { return std::make_unique<RecordingTrayBackend>(); });
    }
    ~RecordingTrays() { pindle::setTrayBackendFactory({}); }
};

struct AboutFixture {
    RecordingTrays trays;
    QStringList events;
    bool pressed = false;
    QStringList recent;
    QuietAbout window;

    AboutFixture()
    {
        AboutHost host;
        host.showMain = [this] { events << u"showMain"_s; };
        host.hideMain = [this] { events << u"hideMain"_s; };
        host.help = [this] { events << u"help"_s; };
        host.unload = [this] { events << (window.trayIcon()->isIconShown() ? u"unload with icon"_s : u"unload"_s); };
        host.recentFiles = [this] { return recent; };
        host.shutdownPressed = [this] { return pressed; };
        host.setShutdownPressed = [this](bool on) { events << u"shutdown %1"_s.arg(on); };
        window.setHost(std::move(host));
    }

    RecordingTrayBackend *backend() const { return static_cast<RecordingTrayBackend *>(window.trayIcon()->backend()); }
    QAction *action(const QString &name) const { return window.trayMenu()->findChild<QAction *>(name); }
};

QStringList listed(const folder &chooser)
{
    QStringList out;
    const auto *list = chooser.findChild<QListWidget *>(u"dir"_s);
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

} // namespace

class TstDialogs : public QObject {
    Q_OBJECT

private slots:
    void trayIconHidesAndRestoresTheMainWindow();
    void rightPressShowsTheShutdownState_data();
    void rightPressShowsTheShutdownState();
    void salirRemovesTheIconBeforeUnloading();
    void recentItemsOpenTheirExactPath();
    void acercadeIsNotShownTwice();

    void childPathKeepsOneSeparator_data();
    void childPathKeepsOneSeparator();
    void newFolderInARootLikeFolder();
    void refusedFolderNameLeavesTheChooserAsItWas_data();
    void refusedFolderNameLeavesTheChooserAsItWas();
    void closingBeforeUnloadOnlyHides();
    void chooseReturnsTheFolderNavigatedTo();

    void detalladoPieColours();
};

void TstDialogs::trayIconHidesAndRestoresTheMainWindow()
{
    AboutFixture f;
    f.window.pindle();
    QCOMPARE(f.backend()->commands(), QList<NotifyCommand>{NotifyCommand::Add});
    QCOMPARE(f.backend()->calls().constFirst().record.tip, u"Tandrel"_s);
    QVERIFY(!f.backend()->calls().constFirst().record.icon.isNull());
    QCOMPARE(f.events, QStringList{u"hideMain"_s});

    // Only a left double click restores; a second pindle() adds nothing.
    f.window.pindle();
    f.backend()->sendMouseMessage(pindle::MsgRightDoubleClick);
    f.backend()->sendMouseMessage(pindle::MsgLeftDown);
    QCOMPARE(f.backend()->commands(), QList<NotifyCommand>{NotifyCommand::Add});
    f.backend()->sendMouseMessage(pindle::MsgLeftDoubleClick);
    QCOMPARE(f.events, (QStringList{u"hideMain"_s, u"hideMain"_s, u"showMain"_s}));
    QCOMPARE(f.backend()->commands(), (QList<NotifyCommand>{NotifyCommand::Add, NotifyCommand::Delete}));
    QVERIFY(!f.window.trayIcon()->InTray());
}

void TstDialogs::rightPressShowsTheShutdownState_data()
{
    QTest::addColumn<bool>("pressed");
    QTest::newRow("button pressed") << true;
    QTest::newRow("button up") << false;
}

void TstDialogs::rightPressShowsTheShutdownState()
{
    QFETCH(bool, pressed);
    AboutFixture f;
    f.window.pindle();
    // The menu was last left the other way: the button's state wins.
    f.action(u"shutdown"_s)->setChecked(!pressed);
    f.pressed = pressed;
    f.backend()->sendMouseMessage(pindle::MsgRightDown);
    QCOMPARE(f.window.shownChecks, QList<bool>{pressed});

    f.action(u"shutdown"_s)->trigger();
    QCOMPARE(f.events.constLast(), u"shutdown %1"_s.arg(!pressed));
}

void TstDialogs::salirRemovesTheIconBeforeUnloading()
{
    AboutFixture f;
    f.window.pindle();
    f.action(u"salir"_s)->trigger();
    QCOMPARE(f.events, (QStringList{u"hideMain"_s, u"unload"_s}));
    QCOMPARE(f.backend()->commands(), (QList<NotifyCommand>{NotifyCommand::Add, NotifyCommand::Delete}));
}

void TstDialogs::recentItemsOpenTheirExactPath()
{
    testing::RecordingShell shell;
    AboutFixture f;
    QMenu *lasdesc = f.window.trayMenu()->findChild<QMenu *>(u"lasdesc"_s);
    QVERIFY(lasdesc);

    f.recent = QStringList{u"/tmp/viejo.zip"_s, {}, u"/tmp/A&B/notas & más.txt"_s};
    emit lasdesc->aboutToShow();
    f.recent = QStringList{{}, {}, u"/tmp/A&B/notas & más.txt"_s};
    emit lasdesc->aboutToShow();

    QCOMPARE(f.window.fd(2)->text(), u"/tmp/A&&B/notas && más.txt"_s);
    for (int i = 0; i < about::kRecentCount; ++i) {
        QCOMPARE(f.window.fd(i)->isVisible(), i == 2);
        f.window.fd(i)->trigger();
    }
    // The item emptied since the last time must not open the old file.
    QCOMPARE(shell.opened, QStringList{u"/tmp/A&B/notas & más.txt"_s});
}

void TstDialogs::acercadeIsNotShownTwice()
{
    testing::ScriptedPrompts prompts;
    AboutFixture f;
    int inner = -1;
    prompts.dialogs.enqueue([&](QDialog &) {
        f.action(u"acercade"_s)->trigger();
        inner = prompts.count(u"dialog"_s);
        return int(QDialog::Accepted);
    });
    f.action(u"acercade"_s)->trigger();
    QCOMPARE(inner, 1);
    QCOMPARE(prompts.count(u"dialog"_s), 1);
    QCOMPARE(prompts.asked.constFirst().extra, u"about"_s);

    // Closed again, it can be shown again.
    f.action(u"acercade"_s)->trigger();
    QCOMPARE(prompts.count(u"dialog"_s), 2);
}

void TstDialogs::childPathKeepsOneSeparator_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("expected");
    const QString sep = QDir::separator();
    QTest::newRow("root") << QDir::toNativeSeparators(QDir::rootPath())
                          << QDir::toNativeSeparators(QDir::rootPath()) + u"nueva"_s;
    QTest::newRow("folder") << sep + u"datos"_s << sep + u"datos"_s + sep + u"nueva"_s;
    QTest::newRow("folder with separator") << sep + u"datos"_s + sep << sep + u"datos"_s + sep + u"nueva"_s;
}

void TstDialogs::childPathKeepsOneSeparator()
{
    QFETCH(QString, parent);
    QFETCH(QString, expected);
    QCOMPARE(folder::childPath(parent, u"nueva"_s), expected);
}

void TstDialogs::newFolderInARootLikeFolder()
{
    testing::ScriptedPrompts prompts;
    QTemporaryDir temp;
    folder chooser;
    chooser.setPath(QDir::toNativeSeparators(temp.path()) + QDir::separator());
    QCOMPARE(chooser.path(), QDir::toNativeSeparators(temp.path()));
    QCOMPARE(chooser.createFolder(u"a"_s), QDir::toNativeSeparators(temp.path() + u"/a"_s));

    prompts.texts.enqueue(u"Música & vídeo"_s);
    chooser.findChild<QToolButton *>(u"newfolder"_s)->click();
    QCOMPARE(prompts.asked.constFirst().text, u"Escriba el nombre de la nueva carpeta"_s);
    QCOMPARE(prompts.asked.constFirst().caption, u"Nueva Carpeta"_s);
    QCOMPARE(prompts.messages(), QStringList());
    QVERIFY(QFileInfo(temp.path() + u"/Música & vídeo"_s).isDir());
    QCOMPARE(listed(chooser), (QStringList{u".."_s, u"a"_s, u"Música & vídeo"_s}));

    // A cancelled input box makes nothing.
    chooser.findChild<QToolButton *>(u"newfolder"_s)->click();
    QCOMPARE(QDir(temp.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 2);
}

void TstDialogs::refusedFolderNameLeavesTheChooserAsItWas_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("separator") << u"sub/otra"_s;
    QTest::newRow("parent") << u".."_s;
    QTest::newRow("too long for the file system") << QString(300, u'x');
    QTest::newRow("exists") << u"sub"_s;
}

void TstDialogs::refusedFolderNameLeavesTheChooserAsItWas()
{
    QFETCH(QString, name);
    testing::ScriptedPrompts prompts;
    QTemporaryDir temp;
    QVERIFY(QDir(temp.path()).mkdir(u"sub"_s));
    folder chooser;
    chooser.setPath(temp.path());
    const QStringList before = listed(chooser);

    prompts.texts.enqueue(name);
    chooser.findChild<QToolButton *>(u"newfolder"_s)->click();
    QCOMPARE(prompts.count(u"message"_s), 1);
    QCOMPARE(prompts.asked.constLast().icon, platform::Icon::Critical);
    QVERIFY(prompts.messages().constFirst().startsWith(u"No se ha podido crear la carpeta:"_s));
    QCOMPARE(listed(chooser), before);
    QCOMPARE(chooser.path(), QDir::toNativeSeparators(temp.path()));
    QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{u"sub"_s});
    QCOMPARE(QDir(temp.path() + u"/sub"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

    // Still usable: a good name afterwards works.
    prompts.texts.enqueue(u"bien"_s);
    chooser.findChild<QToolButton *>(u"newfolder"_s)->click();
    QCOMPARE(prompts.count(u"message"_s), 1);
    QVERIFY(listed(chooser).contains(u"bien"_s));
}

void TstDialogs::closingBeforeUnloadOnlyHides()
{
    bool unloading = false;
    QPointer<folder> chooser = new folder;
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setUnloading([&unloading] { return unloading; });
    chooser->show();
    QVERIFY(!chooser->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(chooser);
    QVERIFY(!chooser->isVisible());

    unloading = true;
    QVERIFY(chooser->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!chooser);
}

void TstDialogs::chooseReturnsTheFolderNavigatedTo()
{
    testing::ScriptedPrompts prompts;
    QTemporaryDir temp;
    QVERIFY(QDir(temp.path()).mkpath(u"uno/dos"_s));
    const auto activate = [](folder &chooser, const QString &text) {
        auto *list = chooser.findChild<QListWidget *>(u"dir"_s);
        const auto items = list->findItems(text, Qt::MatchExactly);
        QVERIFY(!items.isEmpty());
        emit list->itemActivated(items.constFirst());
    };
    prompts.dialogs.enqueue([&](QDialog &d) {
        auto &chooser = static_cast<folder &>(d);
        activate(chooser, u"uno"_s);
        activate(chooser, u"dos"_s);
        activate(chooser, u".."_s);
        chooser.findChild<QPushButton *>(u"acept"_s)->click();
        return d.result();
    });
    QCOMPARE(folder::choose(temp.path()), QDir::toNativeSeparators(temp.path() + u"/uno"_s));
    QCOMPARE(prompts.asked.constFirst().text, u"Carpeta"_s);
    // Unanswered, the scripted box cancels.
    QCOMPARE(folder::choose(temp.path()), QString());
}

void TstDialogs::detalladoPieColours()
{
    detallado details;
    QVERIFY(details.windowTitle().startsWith(u"Información de"_s));
    auto *pie = details.findChild<tarta *>(u"tarta"_s);
    QVERIFY(pie);
    QCOMPARE(pie->ForeColor(), 0xC00000u);
    QCOMPARE(pie->BackColor(), 0x008000u);
}

QTEST_MAIN(TstDialogs)
#include "tst_dialogs.moc"
