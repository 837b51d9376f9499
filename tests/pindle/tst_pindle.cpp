#include <cpindle.h>
#include <notify_record.h>
#include <recording_tray_backend.h>
#include <system_tray_backend.h>

#include <QApplication>
#include <QHelpEvent>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace pindle;

Q_DECLARE_METATYPE(pindle::NotifyCommand)

namespace {

struct Fixture {
    RecordingTrayBackend *tray = new RecordingTrayBackend;
    cPindle control{std::unique_ptr<TrayBackend>(tray)};
};

QIcon solidIcon(Qt::GlobalColor color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

// What the control raised, one "Event Button Id" text per event.
QStringList recordEvents(cPindle &control, const std::function<void()> &action)
{
    QStringList events;
    QObject::connect(&control, &cPindle::MouseMove, &control, [&](int id) { events << u"Move %1"_s.arg(id); });
    QObject::connect(&control, &cPindle::MouseDown, &control,
                     [&](int b, int id) { events << u"Down %1 %2"_s.arg(b).arg(id); });
    QObject::connect(&control, &cPindle::MouseUp, &control,
                     [&](int b, int id) { events << u"Up %1 %2"_s.arg(b).arg(id); });
    QObject::connect(&control, &cPindle::MouseDblClick, &control,
                     [&](int b, int id) { events << u"DblClick %1 %2"_s.arg(b).arg(id); });
    action();
    QObject::disconnect(&control, nullptr, &control, nullptr);
    return events;
}

} // namespace

class TstPindle : public QObject {
    Q_OBJECT

private slots:
    void tipFits_data();
    void tipFits();
    void recordFlags_data();
    void recordFlags();

    void inTrayAddsAndDeletesOnce();
    void addCarriesIconAndTip_data();
    void addCarriesIconAndTip();
    void changesWhileInTray_data();
    void changesWhileInTray();
    void destructionRemovesIcon_data();
    void destructionRemovesIcon();
    void designModeKeepsInTrayForRunTime();
    void mouseEvents_data();
    void mouseEvents();
    void designLook();
    void aboutBoxOpensOnce();

    void systemTrayBackend();
};

void TstPindle::tipFits_data()
{
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QString>("shown");

    const QString a63(63, u'a');
    QTest::newRow("short") << u"Mensaje de Tandrel"_s << u"Mensaje de Tandrel"_s;
    QTest::newRow("63 fits") << a63 << a63;
    QTest::newRow("64 is cut") << a63 + u"b"_s << a63;
    QTest::newRow("80 keeps the first 63")
        << QString(40, u'x') + QString(40, u'ñ') << QString(40, u'x') + QString(23, u'ñ');
    QTest::newRow("ends at a NUL") << u"uno"_s + QChar(0) + u"dos"_s << u"uno"_s;
    QTest::newRow("no half surrogate pair") << QString(62, u'a') + u"\U0001F600"_s << QString(62, u'a');
}

void TstPindle::tipFits()
{
    QFETCH(QString, tip);
    QFETCH(QString, shown);
    QCOMPARE(fitTip(tip), shown);
    QCOMPARE(NotifyRecord::forTip(0, 0, tip).tip, shown);
    QCOMPARE(NotifyRecord::forAdd(0, 0, QIcon(), tip).tip, shown);
}

void TstPindle::recordFlags_data()
{
    QTest::addColumn<NotifyRecord>("record");
    QTest::addColumn<quint32>("flags");
    QTest::addColumn<quint32>("callback");

    const QIcon icon = solidIcon(Qt::red);
    QTest::newRow("add all") << NotifyRecord::forAdd(7, 0, icon, u"t"_s) << 7u << 1125u;
    QTest::newRow("add without icon") << NotifyRecord::forAdd(7, 0, QIcon(), u"t"_s) << 5u << 1125u;
    QTest::newRow("add without tip") << NotifyRecord::forAdd(7, 0, icon, QString()) << 3u << 1125u;
    QTest::newRow("new icon") << NotifyRecord::forIcon(7, 0, icon) << 2u << 0u;
    QTest::newRow("new tip") << NotifyRecord::forTip(7, 0, u"t"_s) << 4u << 0u;
    QTest::newRow("empty tip still clears it") << NotifyRecord::forTip(7, 0, QString()) << 4u << 0u;
    QTest::newRow("delete") << NotifyRecord::forDelete(7, 0) << 0u << 0u;
}

void TstPindle::recordFlags()
{
    QFETCH(NotifyRecord, record);
    QFETCH(quint32, flags);
    QFETCH(quint32, callback);
    QCOMPARE(record.flags, flags);
    QCOMPARE(record.callbackMessage, callback);
    QCOMPARE(record.size, 88u);
    QCOMPARE(record.window, quintptr(7));
}

void TstPindle::inTrayAddsAndDeletesOnce()
{
    Fixture f;
    QSignalSpy changed(&f.control, &cPindle::InTrayChanged);
    f.control.setInTray(true);
    f.control.setInTray(true);
    QCOMPARE(f.tray->commands(), QList{NotifyCommand::Add});
    QVERIFY(f.control.isIconShown());
    f.control.setInTray(false);
    f.control.setInTray(false);
    QCOMPARE(f.tray->commands(), (QList{NotifyCommand::Add, NotifyCommand::Delete}));
    QCOMPARE(changed.count(), 2);

    const NotifyRecord &added = f.tray->calls().at(0).record;
    const NotifyRecord &deleted = f.tray->calls().at(1).record;
    QCOMPARE(deleted.window, added.window);
    QCOMPARE(deleted.id, 0u);
    QCOMPARE(deleted.flags, 0u);
}

void TstPindle::addCarriesIconAndTip_data()
{
    QTest::addColumn<QString>("tip");
    QTest::addColumn<quint32>("flags");
    QTest::addColumn<QString>("sentTip");

    QTest::newRow("default tip") << cPindle::defaultTip() << 7u << u"Icono de Sistema"_s;
    QTest::newRow("empty tip: no tip flag") << QString() << 3u << QString();
    QTest::newRow("80 characters: first 63") << QString(80, u'z') << 7u << QString(63, u'z');
}

void TstPindle::addCarriesIconAndTip()
{
    QFETCH(QString, tip);
    QFETCH(quint32, flags);
    QFETCH(QString, sentTip);

    Fixture f;
    const QIcon icon = solidIcon(Qt::blue);
    f.control.setTrayIcon(icon);
    f.control.setTrayTip(tip);
    QVERIFY(f.tray->calls().isEmpty());
    f.control.setInTray(true);

    QCOMPARE(f.tray->calls().size(), 1);
    const NotifyRecord &r = f.tray->calls().at(0).record;
    QCOMPARE(r.flags, flags);
    QCOMPARE(r.callbackMessage, 1125u);
    QCOMPARE(r.tip, sentTip);
    QCOMPARE(r.icon.cacheKey(), icon.cacheKey());
    QCOMPARE(f.control.TrayTip(), tip);
}

void TstPindle::changesWhileInTray_data()
{
    QTest::addColumn<bool>("inTray");
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("modifyFlags"); // -1: nothing sent

    QTest::newRow("tip in tray") << true << u"tip"_s << 4;
    QTest::newRow("icon in tray") << true << u"icon"_s << 2;
    QTest::newRow("null icon ignored") << true << u"null icon"_s << -1;
    QTest::newRow("tip out of tray") << false << u"tip"_s << -1;
    QTest::newRow("icon out of tray") << false << u"icon"_s << -1;
}

void TstPindle::changesWhileInTray()
{
    QFETCH(bool, inTray);
    QFETCH(QString, change);
    QFETCH(int, modifyFlags);

    Fixture f;
    f.control.setInTray(inTray);
    f.tray->clear();
    const qint64 iconBefore = f.control.TrayIcon().cacheKey();
    const QIcon icon = solidIcon(Qt::green);
    const QString tip(70, u'é');
    QSignalSpy iconChanged(&f.control, &cPindle::TrayIconChanged);
    if (change == u"tip")
        f.control.setTrayTip(tip);
    else
        f.control.setTrayIcon(change == u"icon" ? icon : QIcon());

    if (modifyFlags < 0) {
        QVERIFY(f.tray->calls().isEmpty());
    } else {
        QCOMPARE(f.tray->commands(), QList{NotifyCommand::Modify});
        const NotifyRecord &r = f.tray->calls().at(0).record;
        QCOMPARE(r.flags, quint32(modifyFlags));
        if (change == u"tip")
            QCOMPARE(r.tip, QString(63, u'é'));
        else
            QCOMPARE(r.icon.cacheKey(), icon.cacheKey());
    }
    if (change == u"null icon") {
        QCOMPARE(f.control.TrayIcon().cacheKey(), iconBefore);
        QCOMPARE(iconChanged.count(), 0);
    }
    // The stored value is what the next add carries.
    if (!inTray) {
        f.control.setInTray(true);
        const NotifyRecord &added = f.tray->calls().last().record;
        if (change == u"tip")
            QCOMPARE(added.tip, QString(63, u'é'));
        else
            QCOMPARE(added.icon.cacheKey(), icon.cacheKey());
    }
}

void TstPindle::destructionRemovesIcon_data()
{
    QTest::addColumn<bool>("designMode");
    QTest::addColumn<bool>("inTray");
    QTest::addColumn<QList<NotifyCommand>>("commands");

    QTest::newRow("shown") << false << true << QList{NotifyCommand::Add, NotifyCommand::Delete};
    QTest::newRow("not in tray") << false << false << QList<NotifyCommand>{};
    QTest::newRow("designer") << true << true << QList<NotifyCommand>{};
}

void TstPindle::destructionRemovesIcon()
{
    QFETCH(bool, designMode);
    QFETCH(bool, inTray);
    QFETCH(QList<NotifyCommand>, commands);

    std::shared_ptr<const QList<RecordingTrayBackend::Call>> calls;
    {
        QWidget host;
        auto *tray = new RecordingTrayBackend;
        calls = tray->sharedCalls();
        auto *control = new cPindle(std::unique_ptr<TrayBackend>(tray), &host);
        control->setDesignMode(designMode);
        control->setInTray(inTray);
    }
    QList<NotifyCommand> sent;
    for (const auto &call : *calls)
        sent << call.command;
    QCOMPARE(sent, commands);
}

void TstPindle::designModeKeepsInTrayForRunTime()
{
    Fixture designer;
    designer.control.setDesignMode(true);
    designer.control.setInTray(true);
    designer.control.setTrayTip(u"Mensaje de Tandrel"_s);
    QVERIFY(designer.tray->calls().isEmpty());
    QVariantMap saved = designer.control.saveProperties();
    QCOMPARE(saved.value(u"InTray"_s).toBool(), true);
    QCOMPARE(saved.value(u"TrayTip"_s).toString(), u"Mensaje de Tandrel"_s);

    // The host runs: a bitmap where an icon belongs is ignored.
    saved.insert(u"TrayIcon"_s, QPixmap(8, 8));
    Fixture running;
    running.control.loadProperties(saved);
    QVERIFY(running.control.isIconShown());
    QCOMPARE(running.tray->commands().first(), NotifyCommand::Add);
    QCOMPARE(running.tray->calls().last().record.tip, u"Mensaje de Tandrel"_s);
    QVERIFY(!running.control.TrayIcon().isNull());

    // Leaving the designer shows the icon the same way.
    designer.control.setDesignMode(false);
    QCOMPARE(designer.tray->commands(), QList{NotifyCommand::Add});
}

void TstPindle::mouseEvents_data()
{
    QTest::addColumn<QList<quint32>>("messages"); // raw mouse messages, when no reason
    QTest::addColumn<int>("reason");              // -1: none
    QTest::addColumn<QStringList>("events");

    const QList<quint32> none;
    QTest::newRow("move") << QList<quint32>{512} << -1 << QStringList{u"Move 0"_s};
    QTest::newRow("right double click") << QList<quint32>{516, 517, 518, 517} << -1
                                        << QStringList{u"Down 2 0"_s, u"Up 2 0"_s, u"DblClick 2 0"_s, u"Up 2 0"_s};
    QTest::newRow("middle and others") << QList<quint32>{519, 520, 521, 0, 1125} << -1 << QStringList{};
    QTest::newRow("Qt click") << none << int(QSystemTrayIcon::Trigger) << QStringList{u"Down 1 0"_s, u"Up 1 0"_s};
    QTest::newRow("Qt double click") << none << int(QSystemTrayIcon::DoubleClick)
                                     << QStringList{u"DblClick 1 0"_s, u"Up 1 0"_s};
    QTest::newRow("Qt context") << none << int(QSystemTrayIcon::Context) << QStringList{u"Down 2 0"_s, u"Up 2 0"_s};
    QTest::newRow("Qt middle") << none << int(QSystemTrayIcon::MiddleClick) << QStringList{};
}

void TstPindle::mouseEvents()
{
    QFETCH(QList<quint32>, messages);
    QFETCH(int, reason);
    QFETCH(QStringList, events);

    Fixture f;
    auto act = [&] {
        for (quint32 m : messages)
            f.tray->sendMouseMessage(m);
        if (reason >= 0)
            f.tray->activate(QSystemTrayIcon::ActivationReason(reason));
    };
    // No icon, nobody listening.
    QCOMPARE(recordEvents(f.control, act), QStringList{});
    f.control.setInTray(true);
    QCOMPARE(recordEvents(f.control, act), events);
}

void TstPindle::designLook()
{
    QWidget host;
    Fixture f;
    f.control.setParent(&host);
    f.control.resize(100, 60);
    QCOMPARE(f.control.size(), QSize(34, 34));
    host.show();
    QVERIFY(!f.control.isVisible());

    f.control.setDesignMode(true);
    QVERIFY(f.control.isVisible());
    const QImage img = f.control.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QPalette &pal = f.control.palette();
    QCOMPARE(img.pixel(0, 0), pal.color(QPalette::Light).rgb());
    QCOMPARE(img.pixel(33, 33), pal.color(QPalette::Dark).rgb());
    QCOMPARE(img.pixel(33, 0), pal.color(QPalette::Dark).rgb());
}

void TstPindle::aboutBoxOpensOnce()
{
    Fixture f;
    int mostOpen = 0;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
        mostOpen = std::max(mostOpen, int(f.control.findChildren<QMessageBox *>().size()));
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    QTimer::singleShot(0, &f.control, [&] {
        closer.start(20);
        f.control.ShowAboutBox(); // returns at once while the first box is open
    });
    f.control.ShowAboutBox();
    closer.stop();
    QCOMPARE(mostOpen, 1);
    QVERIFY(f.control.findChildren<QMessageBox *>().isEmpty());
}

void TstPindle::systemTrayBackend()
{
    SystemTrayBackend backend;
    QSignalSpy messages(&backend, &TrayBackend::mouseMessage);
    QSystemTrayIcon *tray = backend.trayIcon();

    backend.notify(NotifyCommand::Add, NotifyRecord::forAdd(1, 0, solidIcon(Qt::red), u"uno"_s));
    QCOMPARE(tray->toolTip(), u"uno"_s);
    backend.notify(NotifyCommand::Modify, NotifyRecord::forTip(1, 0, u"dos"_s));
    QCOMPARE(tray->toolTip(), u"dos"_s);

    emit tray->activated(QSystemTrayIcon::Context);
    QHelpEvent hover(QEvent::ToolTip, QPoint(), QPoint());
    QCoreApplication::sendEvent(tray, &hover);
    const QList<quint32> expected{516, 517, 512};
    QCOMPARE(messages.count(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(messages.at(i).at(1).toUInt(), expected.at(i));

    // A fresh add does not keep the old tip.
    backend.notify(NotifyCommand::Delete, NotifyRecord::forDelete(1, 0));
    emit tray->activated(QSystemTrayIcon::Trigger);
    QCOMPARE(messages.count(), expected.size());
    backend.notify(NotifyCommand::Add, NotifyRecord::forAdd(1, 0, solidIcon(Qt::red), QString()));
    QCOMPARE(tray->toolTip(), QString());
}

QTEST_MAIN(TstPindle)
#include "tst_pindle.moc"
