// The small platform rules the rest of the program leans on.
#include "platform/interval_timer.h"
#include "platform/program_folder.h"
#include "platform/twips.h"

#include <QDir>
#include <QSignalSpy>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void intervalZeroMeansStopped();
    void programFilesSitInTheProgramFolder();
    void twipsRoundTrip();
};

void TestPlatform::intervalZeroMeansStopped()
{
    platform::IntervalTimer timer;
    QSignalSpy ticks(&timer, &platform::IntervalTimer::timeout);
    QVERIFY(!timer.isRunning());
    timer.setInterval(20);
    QVERIFY(timer.isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 2, 2000); // it repeats until stopped
    timer.setInterval(0);
    const qsizetype seen = ticks.size();
    QTest::qWait(80);
    QCOMPARE(ticks.size(), seen);
    timer.setInterval(-5);
    QVERIFY(!timer.isRunning());
    QCOMPARE(timer.interval(), 0);
}

void TestPlatform::programFilesSitInTheProgramFolder()
{
    const QString sep = QDir::separator();
    platform::setProgramFolder(u"/opt/tandrel"_s + sep);
    QCOMPARE(platform::programFolder(), u"/opt/tandrel"_s);
    QCOMPARE(platform::programFile(u"activas.dwn"_s), u"/opt/tandrel"_s + sep + u"activas.dwn"_s);
    QCOMPARE(platform::withTrailingSeparator(u"/a"_s), u"/a"_s + sep);
    QCOMPARE(platform::withTrailingSeparator(u"/a"_s + sep), u"/a"_s + sep);
    platform::setProgramFolder({});
    QCOMPARE(platform::programFolder(), QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
}

void TestPlatform::twipsRoundTrip()
{
    QCOMPARE(platform::twipsToPixels(300), 20); // one row
    QCOMPARE(platform::twipsToPixels(7), 0);    // nearest pixel
    QCOMPARE(platform::twipsToPixels(8), 1);
    QCOMPARE(platform::twipsToPixels(-300), -20);
    QCOMPARE(platform::pixelsToTwips(platform::twipsToPixels(1500)), 1500);
}

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
