// The speed limit's rule on a simulated clock: readers asking all they can
// get stay within the limit over ten seconds, a change holds at once, and no
// limit takes nothing away.
#include "core/token_bucket.h"

#include <QtTest>

namespace {
constexpr qint64 kChunk = 64 * 1024;

// Bytes `readers` greedy readers get over [from, to) ms; the clock moves on
// only when every one of them found the bucket empty, by the wait it names.
qint64 readFor(TokenBucket &bucket, int readers, qint64 &clock, qint64 to)
{
    qint64 total = 0;
    while (clock < to) {
        bool any = false;
        for (int r = 0; r < readers; ++r) {
            const qint64 got = bucket.take(kChunk, clock);
            // A reader sometimes finds less in its socket than it was allowed.
            if (got > 0 && r == 1) {
                bucket.giveBack(got / 3);
                total -= got / 3;
            }
            total += got;
            any = any || got > 0;
        }
        if (!any)
            clock += std::max<qint64>(1, bucket.waitMs(clock));
    }
    return total;
}
} // namespace

class TestTokenBucket : public QObject {
    Q_OBJECT
private slots:
    void rateHoldsOverTenSeconds_data();
    void rateHoldsOverTenSeconds();
    void changeHoldsAtOnce();
    void noLimitTakesNothing();
};

void TestTokenBucket::rateHoldsOverTenSeconds_data()
{
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<int>("readers");
    QTest::newRow("50 Kb/s, one reader") << qint64(50 * 1024) << 1;
    QTest::newRow("50 Kb/s, forty readers") << qint64(50 * 1024) << 40;
    QTest::newRow("100 Kb/s, four readers") << qint64(100 * 1024) << 4;
    QTest::newRow("5 Mb/s, two readers") << qint64(5 * 1024 * 1024) << 2;
    QTest::newRow("200 Mb/s, eight readers") << qint64(200 * 1024 * 1024) << 8;
}

void TestTokenBucket::rateHoldsOverTenSeconds()
{
    QFETCH(qint64, rate);
    QFETCH(int, readers);
    TokenBucket bucket;
    bucket.setRate(rate);
    qint64 clock = 1000;
    const qint64 got = readFor(bucket, readers, clock, 11000);
    const double measured = double(got) / 10.0;
    QVERIFY2(measured <= rate * 1.05 && measured >= rate * 0.95,
             qPrintable(QStringLiteral("%1 B/s for a limit of %2").arg(measured).arg(rate)));
}

void TestTokenBucket::changeHoldsAtOnce()
{
    TokenBucket bucket;
    bucket.setRate(1024 * 1024);
    qint64 clock = 0;
    readFor(bucket, 3, clock, 5000);
    // Lowered: the next second gets the new rate, not what was saved up.
    bucket.setRate(64 * 1024);
    const qint64 lowered = readFor(bucket, 3, clock, 6000);
    QVERIFY2(lowered <= 64 * 1024 * 105 / 100, qPrintable(QString::number(lowered)));
    // Raised: the wait named before the change is no longer than a short one.
    QVERIFY(bucket.waitMs(clock) <= 100);
    bucket.setRate(2 * 1024 * 1024);
    const qint64 raised = readFor(bucket, 3, clock, 7000);
    QVERIFY2(raised >= 2 * 1024 * 1024 * 95 / 100, qPrintable(QString::number(raised)));
}

void TestTokenBucket::noLimitTakesNothing()
{
    TokenBucket bucket;
    QCOMPARE(bucket.take(kChunk, 0), kChunk);
    QCOMPARE(bucket.waitMs(0), 0);
    bucket.setRate(1000);
    QVERIFY(bucket.take(kChunk, 0) < kChunk);
    bucket.setRate(0);
    QCOMPARE(bucket.take(kChunk, 0), kChunk);
}

QTEST_GUILESS_MAIN(TestTokenBucket)
#include "tst_token_bucket.moc"
