// Notices handed to the desktop's notification service, checked against a
// fake service on a private bus started for the test.
#include "platform/desktop_notices.h"
#include "platform/qt_prompts.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
const QString kName = u"org.freedesktop.Notifications"_s;
const QString kPath = u"/org/freedesktop/Notifications"_s;
} // namespace

// Records what the program asks of it, as a desktop's service would receive it.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString app;
        uint replaces = 0;
        QString icon, summary, body;
        QStringList actions;
        QVariantMap hints;
        int expire = 0;
    };
    QStringList capabilities{u"body"_s};
    QList<Call> calls;
    int asked = 0;

public slots:
    QStringList GetCapabilities()
    {
        ++asked;
        return capabilities;
    }
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &hints, int expire)
    {
        calls.append({app, replaces, icon, summary, body, actions, hints, expire});
        return uint(calls.size());
    }
};

class TestDesktopNotices : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void sendsWhatTheUserWouldRead_data();
    void sendsWhatTheUserWouldRead();
    void nothingWhileTheWindowIsInSight();
    void asksOnceForABurst();
    void missingServiceIsAskedOnceAndQuietly();
    void noBusIsQuiet();
    void programNoticeReachesTheDesktop();

private:
    QDBusConnection client(const QString &name) { return QDBusConnection::connectToBus(address_, name); }

    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
    FakeNotifications fake_;
};

void TestDesktopNotices::initTestCase()
{
    const QString dbusDaemon = QStandardPaths::findExecutable(u"dbus-daemon"_s);
    if (dbusDaemon.isEmpty())
        QSKIP("dbus-daemon is not installed");
    // A bus of our own: no desktop service can be started on it behind our back.
    QFile config(dir_.filePath(u"bus.conf"_s));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                 "<busconfig><type>session</type><listen>unix:dir="
                 + dir_.path().toUtf8()
                 + "</listen><auth>EXTERNAL</auth>"
                   "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                   "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    config.close();
    daemon_.start(dbusDaemon, {u"--config-file="_s + config.fileName(), u"--print-address"_s, u"--nofork"_s});
    QVERIFY(daemon_.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(daemon_.canReadLine(), 10000);
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    QVERIFY(!address_.isEmpty());
    // The program's own instance reads the session bus from here.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());

    QDBusConnection service = client(u"service"_s);
    QVERIFY(service.isConnected());
    QVERIFY(service.registerObject(kPath, &fake_, QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService(kName));
}

void TestDesktopNotices::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(u"service"_s);
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.terminate();
        daemon_.waitForFinished(5000);
    }
}

void TestDesktopNotices::init()
{
    fake_.calls.clear();
    fake_.asked = 0;
    fake_.capabilities = {u"body"_s};
}

void TestDesktopNotices::sendsWhatTheUserWouldRead_data()
{
    QTest::addColumn<QStringList>("capabilities");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("body");

    const QString text = u"Error en http://a/?x=1&y=<2>\r\nSe reintentará"_s;
    QTest::newRow("plain-text service") << QStringList{u"body"_s} << text
                                        << u"Error en http://a/?x=1&y=<2>\nSe reintentará"_s;
    // A service reading markup would eat <2> and choke on the lone &.
    QTest::newRow("markup service") << QStringList{u"body"_s, u"body-markup"_s} << text
                                    << u"Error en http://a/?x=1&amp;y=&lt;2&gt;\nSe reintentará"_s;
}

void TestDesktopNotices::sendsWhatTheUserWouldRead()
{
    QFETCH(QStringList, capabilities);
    QFETCH(QString, text);
    QFETCH(QString, body);
    fake_.capabilities = capabilities;
    platform::DesktopNotices notices(client(QString::fromLatin1(QTest::currentDataTag())));
    notices.setWanted([] { return true; });

    notices.forward(text);

    QTRY_COMPARE_WITH_TIMEOUT(fake_.calls.size(), 1, 10000);
    const FakeNotifications::Call &c = fake_.calls.first();
    QCOMPARE(c.app, u"Tandrel"_s);
    QCOMPARE(c.replaces, 0u);
    QCOMPARE(c.icon, u"org.tandrel.Tandrel"_s);
    QCOMPARE(c.summary, u"Tandrel"_s);
    QCOMPARE(c.body, body);
    QVERIFY(c.actions.isEmpty());
    QCOMPARE(c.expire, -1);
}

void TestDesktopNotices::nothingWhileTheWindowIsInSight()
{
    platform::DesktopNotices unset(client(u"unset"_s));
    platform::DesktopNotices inSight(client(u"inSight"_s));
    inSight.setWanted([] { return false; });

    unset.forward(u"uno"_s);
    inSight.forward(u"dos"_s);
    // A later notice on a third instance proves the bus delivered in between.
    platform::DesktopNotices hidden(client(u"hidden"_s));
    hidden.setWanted([] { return true; });
    hidden.forward(u"tres"_s);

    QTRY_COMPARE_WITH_TIMEOUT(fake_.calls.size(), 1, 10000);
    QCOMPARE(fake_.calls.first().body, u"tres"_s);
    QCOMPARE(fake_.asked, 1);
}

void TestDesktopNotices::asksOnceForABurst()
{
    platform::DesktopNotices notices(client(u"burst"_s));
    notices.setWanted([] { return true; });
    for (const QString &t : {u"uno"_s, u"dos"_s, u"tres"_s})
        notices.forward(t); // all before the service has answered its first question

    QTRY_COMPARE_WITH_TIMEOUT(fake_.calls.size(), 3, 10000);
    notices.forward(u"cuatro"_s);
    QTRY_COMPARE_WITH_TIMEOUT(fake_.calls.size(), 4, 10000);
    QCOMPARE(fake_.asked, 1);
    QStringList bodies;
    for (const FakeNotifications::Call &c : std::as_const(fake_.calls))
        bodies << c.body;
    QCOMPARE(bodies, (QStringList{u"uno"_s, u"dos"_s, u"tres"_s, u"cuatro"_s}));
}

void TestDesktopNotices::missingServiceIsAskedOnceAndQuietly()
{
    QTest::failOnWarning(QRegularExpression(u".*"_s));
    QDBusConnection service = QDBusConnection(u"service"_s);
    QVERIFY(service.unregisterService(kName));
    platform::DesktopNotices notices(client(u"missing"_s));
    notices.setWanted([] { return true; });
    QSignalSpy known(&notices, &platform::DesktopNotices::serviceKnown);

    notices.forward(u"uno"_s);
    QTRY_COMPARE_WITH_TIMEOUT(known.size(), 1, 10000);
    QCOMPARE(known.first().first().toBool(), false);
    QCOMPARE(notices.service(), platform::DesktopNotices::Service::Absent);

    // Once found missing it stays so: no question per notice.
    QVERIFY(service.registerService(kName));
    notices.forward(u"dos"_s);
    platform::DesktopNotices witness(client(u"witness"_s));
    witness.setWanted([] { return true; });
    witness.forward(u"testigo"_s);
    QTRY_COMPARE_WITH_TIMEOUT(fake_.calls.size(), 1, 10000);
    QCOMPARE(fake_.calls.first().body, u"testigo"_s);
    QCOMPARE(fake_.asked, 1);
}

void TestDesktopNotices::noBusIsQuiet()
{
    QTest::failOnWarning(QRegularExpression(u".*"_s));
    platform::DesktopNotices notices(
        QDBusConnection::connectToBus(u"unix:path="_s + dir_.filePath(u"no-bus-here"_s), u"nobus"_s));
    notices.setWanted([] { return true; });
    QSignalSpy known(&notices, &platform::DesktopNotices::serviceKnown);

    notices.forward(u"uno"_s);
    notices.forward(u"dos"_s);

    QCOMPARE(known.size(), 1);
    QCOMPARE(notices.service(), platform::DesktopNotices::Service::Absent);
}

// The program's notice window, raised while the main window is out of
// sight, also reaches the desktop through the session bus.
void TestDesktopNotices::programNoticeReachesTheDesktop()
{
    platform::desktopNotices().setWanted([] { return true; });
    platform::QtPrompts prompts;
    prompts.notice(u"Se ha terminado la descarga de http://a/b.zip"_s, QString());

    QTRY_COMPARE_WITH_TIMEOUT(fake_.calls.size(), 1, 10000);
    QCOMPARE(fake_.calls.first().body, u"Se ha terminado la descarga de http://a/b.zip"_s);
    platform::desktopNotices().setWanted({});
    prompts.notice(u"Otra"_s, QString());
    QTest::qWait(200);
    QCOMPARE(fake_.calls.size(), 1);
    qDeleteAll(QApplication::topLevelWidgets());
}

QTEST_MAIN(TestDesktopNotices)
#include "tst_desktop_notices.moc"
