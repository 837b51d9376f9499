#include "core/figures.h"

#include "core/download_entry.h"

#include <QLocale>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The expected text with the system's decimal separator.
QString local(QString text)
{
    return text.replace(u'.', QLocale::system().decimalPoint());
}

} // namespace

class TestFigures : public QObject {
    Q_OBJECT

private slots:
    void elapsed_data();
    void elapsed();
    void roundWhole_data();
    void roundWhole();
    void roundCents_data();
    void roundCents();
    void number_data();
    void number();
    void bytes_data();
    void bytes();
    void shownProgress_data();
    void shownProgress();
};

void TestFigures::elapsed_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << u"0:00:00"_s;
    QTest::newRow("59") << qint64(59) << u"0:00:59"_s;
    QTest::newRow("60") << qint64(60) << u"0:01:00"_s;
    QTest::newRow("3599") << qint64(3599) << u"0:59:59"_s;
    QTest::newRow("3600") << qint64(3600) << u"1:00:00"_s;
    QTest::newRow("a day and more") << qint64(90061) << u"25:01:01"_s;
    QTest::newRow("three-digit hours") << qint64(360000) << u"100:00:00"_s;
}

void TestFigures::elapsed()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(formatElapsed(seconds), text);
}

void TestFigures::roundWhole_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("rounded");
    QTest::newRow("2.5") << 2.5 << qint64(2);
    QTest::newRow("3.5") << 3.5 << qint64(4);
    QTest::newRow("0.5") << 0.5 << qint64(0);
    QTest::newRow("-2.5") << -2.5 << qint64(-2);
    QTest::newRow("-3.5") << -3.5 << qint64(-4);
    QTest::newRow("10.4") << 10.4 << qint64(10);
    QTest::newRow("20.6") << 20.6 << qint64(21);
    QTest::newRow("2.4999") << 2.4999 << qint64(2);
    QTest::newRow("past 32 bits") << 5000000000.5 << qint64(5000000000);
}

void TestFigures::roundWhole()
{
    QFETCH(double, value);
    QFETCH(qint64, rounded);
    QCOMPARE(roundHalfEven(value), rounded);
}

void TestFigures::roundCents_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("cents");
    // Ties as written in decimal, whatever their nearest binary value is.
    QTest::newRow("10.325") << 10.325 << qint64(1032);
    QTest::newRow("10.335") << 10.335 << qint64(1034);
    QTest::newRow("2.675") << 2.675 << qint64(268);
    QTest::newRow("1.125") << 1.125 << qint64(112);
    QTest::newRow("0.005") << 0.005 << qint64(0);
    QTest::newRow("0.015") << 0.015 << qint64(2);
    QTest::newRow("-2.345") << -2.345 << qint64(-234);
    QTest::newRow("not a tie") << 10.32499 << qint64(1032);
    QTest::newRow("31 / 3") << 31.0 / 3 << qint64(1033);
}

void TestFigures::roundCents()
{
    QFETCH(double, value);
    QFETCH(qint64, cents);
    QCOMPARE(qRound64(roundHalfEven(value, 2) * 100), cents);
}

void TestFigures::number_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("two decimals") << 10.33 << u"10.33"_s;
    QTest::newRow("whole") << 7.0 << u"7"_s;
    QTest::newRow("one decimal") << 1.5 << u"1.5"_s;
    QTest::newRow("rounded") << 31.0 / 3 << u"10.33"_s;
    QTest::newRow("tie") << 10.325 << u"10.32"_s;
    QTest::newRow("no grouping") << 1234567.891 << u"1234567.89"_s;
    QTest::newRow("zero") << 0.0 << u"0"_s;
    QTest::newRow("tiny negative") << -0.001 << u"0"_s;
}

void TestFigures::number()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(numberText(value), local(text));
}

void TestFigures::bytes_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << qint64(0) << u"0 bytes"_s;
    QTest::newRow("1023") << qint64(1023) << u"1023 bytes"_s;
    QTest::newRow("1024") << qint64(1024) << u"1 Kb"_s;
    QTest::newRow("1034") << qint64(1034) << u"1.01 Kb"_s;
    QTest::newRow("1536") << qint64(1536) << u"1.5 Kb"_s;
    QTest::newRow("1048575") << qint64(1048575) << u"1024 Kb"_s;
    QTest::newRow("1048576") << qint64(1048576) << u"1 Mb"_s;
    QTest::newRow("3 GiB") << qint64(3221225472) << u"3072 Mb"_s;
    QTest::newRow("5000000000") << qint64(5000000000) << u"4768.37 Mb"_s;
}

void TestFigures::bytes()
{
    QFETCH(qint64, value);
    QFETCH(QString, text);
    QCOMPARE(bytesText(value), local(text));
}

// The position counts one more than the bytes in the file; the windows never
// show that extra byte, nor more than the whole.
void TestFigures::shownProgress_data()
{
    QTest::addColumn<qint64>("position");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<double>("percent");
    QTest::newRow("never started") << qint64(0) << qint64(0) << qint64(0) << 0.0;
    QTest::newRow("connected, nothing yet") << qint64(1) << qint64(10) << qint64(0) << 0.0;
    QTest::newRow("empty file finished") << qint64(1) << qint64(0) << qint64(0) << 0.0;
    QTest::newRow("ten bytes finished") << qint64(11) << qint64(10) << qint64(10) << 100.0;
    QTest::newRow("a third") << qint64(4) << qint64(9) << qint64(3) << 33.33;
    QTest::newRow("size unknown") << qint64(5001) << qint64(0) << qint64(5000) << 0.0;
    QTest::newRow("more than announced") << qint64(21) << qint64(10) << qint64(20) << 100.0;
    QTest::newRow("beyond 32 bits") << qint64(3221225473) << qint64(6442450944) << qint64(3221225472) << 50.0;
}

void TestFigures::shownProgress()
{
    QFETCH(qint64, position);
    QFETCH(qint64, size);
    QFETCH(qint64, bytes);
    QFETCH(double, percent);
    DownloadEntry e;
    e.position = position;
    e.size = size;
    QCOMPARE(bytesOnDisk(e), bytes);
    QCOMPARE(percentOnDisk(e), percent);
}

QTEST_MAIN(TestFigures)
#include "tst_figures.moc"
