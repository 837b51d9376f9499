// The active table with no window at all: 40 downloads from nginx through
// cut connections, a stalled one, a pause and a resume, each ending with the
// source's SHA-256.
#include "core/active_table.h"
#include "core/list_file.h"
#include "core/program_folder.h"
#include "core/queue_hooks.h"
#include "cutting_proxy.h"
#include "file_digest.h"
#include "nginx_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
constexpr int kDownloads = 40;

// A queue that keeps what it is handed, to hand it back.
class KeepingQueue final : public QueueHooks {
public:
    QList<DownloadEntry> kept;
    int loadedRows() const override { return int(kept.size()) + 1; }
    bool addnew(const QString &url, const QString &file, qint64 size, qint64 position, bool resumable, qint32 elapsed,
                bool, const QString &, const QString &, bool, bool) override
    {
        DownloadEntry e;
        e.url = url;
        e.file = file;
        e.size = size;
        e.position = position;
        e.resumable = resumable;
        e.elapsed = elapsed;
        kept << e;
        return true;
    }
    void toactivas() override {}
    bool holdsTarget(const QString &file) const override
    {
        return std::any_of(kept.begin(), kept.end(), [&](const DownloadEntry &e) { return e.file == file; });
    }
    QString writeListNow() override { return {}; }
};
} // namespace

class TestCoreHeadless : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void fortyDownloadsThroughCutsStallAndPause();
    void speedLimitsSlowTheSenders();

private:
    QTemporaryDir served_;
    testing::NginxFixture nginx_;
    QList<QByteArray> digests_;
};

void TestCoreHeadless::initTestCase()
{
    QVERIFY(qobject_cast<QCoreApplication *>(QCoreApplication::instance()));
    QVERIFY(!QCoreApplication::instance()->inherits("QGuiApplication"));
    if (!QFile::exists(QString::fromLatin1(testing::NginxFixture::kBinary)))
        QSKIP("nginx is not installed");
    QVERIFY(served_.isValid());
    for (int i = 0; i < kDownloads; ++i) {
        const QString name = served_.filePath(u"f%1.bin"_s.arg(i));
        QVERIFY(testing::writeRandomFile(name, 1024 * 1024 + i * 997, 100 + i));
        digests_ << testing::sha256OfFile(name);
    }
    QVERIFY2(nginx_.start(served_.path()), qPrintable(nginx_.errorText()));
}

void TestCoreHeadless::fortyDownloadsThroughCutsStallAndPause()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    platform::setProgramFolder(folder.path());

    testing::CuttingProxy cutting(u"127.0.0.1"_s, nginx_.port());
    cutting.setCut(400 * 1024);
    testing::CuttingProxy stalling(u"127.0.0.1"_s, nginx_.port());
    stalling.setCut(300 * 1024, 1);
    stalling.setStallInsteadOfCut(true);

    KeepingQueue queue;
    ActiveTable table;
    SettingsValues settings;
    settings.vecesv = 50;
    settings.segsv = 1;
    settings.waitv = 2;
    table.setSettings([&] { return settings; });
    table.setQueue(&queue);

    // The last download goes straight to nginx: it is the one paused.
    auto urlOf = [&](int i) {
        const QString path = u"f%1.bin"_s.arg(i);
        if (i == kDownloads - 1)
            return nginx_.url(path);
        return i == kDownloads - 2 ? stalling.url(path) : cutting.url(path);
    };
    for (int i = 0; i < kDownloads; ++i) {
        DownloadEntry e;
        e.url = urlOf(i);
        e.file = folder.filePath(u"f%1.bin"_s.arg(i));
        QCOMPARE(table.add(e).slot, i + 1);
    }

    const int paused = kDownloads;
    QTRY_VERIFY_WITH_TIMEOUT(table.slot(paused).e.position > 1 || isFinished(table.slot(paused).state), 20000);
    QVERIFY(table.handToQueue(paused));
    table.remove(paused, false);
    QVERIFY(!table.existe(paused));
    QCOMPARE(queue.kept.size(), 1);
    // The file stays as the pause left it; the resume goes on from its bytes.
    DownloadEntry resumed = queue.kept.takeFirst();
    QCOMPARE(QFileInfo(resumed.file).size() + 1, resumed.position);
    QTRY_VERIFY(!table.targetTaken(resumed.file));
    QVERIFY(table.add(resumed).slot > 0);

    auto allFinished = [&] {
        int n = 0;
        return table.allFinished(&n) && n == kDownloads;
    };
    QTRY_VERIFY_WITH_TIMEOUT(allFinished(), 120000);
    for (int i = 0; i < kDownloads; ++i)
        QVERIFY2(testing::sha256OfFile(folder.filePath(u"f%1.bin"_s.arg(i))) == digests_[i],
                 qPrintable(QString::number(i)));
    QVERIFY(cutting.cutCount() >= 2 * (kDownloads - 2));
    // The stalled connection was given up by the watchdog and tried again.
    QCOMPARE(stalling.cutCount(), 1);
    QVERIFY(stalling.connectionCount() >= 2);

    // Finished downloads leave the list a restart reads.
    table.waitForSaves();
    QFile list(platform::programFile(u"activas.dwn"_s));
    QVERIFY(list.open(QIODevice::ReadOnly));
    QVERIFY(decodeListFile(list.readAll(), ListKind::Active).records.isEmpty());
}

// Over loopback nginx sends as fast as it can: the shared limit, a
// download's own limit and a lifted limit each show in how long whole files
// take. Only the lower bound of the time is checked (a busy machine is slower,
// never faster); the precision is measured by the benchmark.
void TestCoreHeadless::speedLimitsSlowTheSenders()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    platform::setProgramFolder(folder.path());
    KeepingQueue queue;
    ActiveTable table;
    SettingsValues settings;
    settings.speedLimitKb = 512;
    table.setSettings([&] { return settings; });
    table.setQueue(&queue);
    const auto start = [&](int i) {
        DownloadEntry e;
        e.url = nginx_.url(u"f%1.bin"_s.arg(i));
        e.file = folder.filePath(u"f%1.bin"_s.arg(i));
        const int slot = table.add(e).slot;
        [&] { QVERIFY(slot > 0); }();
        return slot;
    };
    const auto whole = [&](int i) {
        return testing::sha256OfFile(folder.filePath(u"f%1.bin"_s.arg(i))) == digests_[i];
    };
    const auto secondsFor = [](qint64 bytes, int kb) { return double(bytes) / (kb * 1024.0); };
    const qint64 size0 = QFileInfo(served_.filePath(u"f0.bin"_s)).size();
    const qint64 size1 = QFileInfo(served_.filePath(u"f1.bin"_s)).size();
    const qint64 size2 = QFileInfo(served_.filePath(u"f2.bin"_s)).size();

    // Two downloads share the limit.
    QElapsedTimer clock;
    clock.start();
    const int a = start(0);
    const int b = start(1);
    QTRY_VERIFY_WITH_TIMEOUT(isFinished(table.slot(a).state) && isFinished(table.slot(b).state), 60000);
    const double shared = clock.elapsed() / 1000.0;
    QVERIFY2(shared >= secondsFor(size0 + size1, 512) / 1.1, qPrintable(QString::number(shared)));
    QVERIFY(whole(0) && whole(1));

    // No shared limit; this download's own.
    settings.speedLimitKb = 0;
    table.elapsedTick();
    const int c = start(2);
    table.setSpeedLimit(c, 256);
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(isFinished(table.slot(c).state), 60000);
    QVERIFY2(clock.elapsed() / 1000.0 >= secondsFor(size2, 256) / 1.1 - 0.2,
             qPrintable(QString::number(clock.elapsed())));
    QVERIFY(whole(2));

    // Crawling, then lifted: the rest comes at once.
    settings.speedLimitKb = 16;
    table.elapsedTick();
    const int d = start(3);
    QTRY_VERIFY_WITH_TIMEOUT(table.slot(d).e.position > 1, 10000);
    QTest::qWait(500);
    QVERIFY(!isFinished(table.slot(d).state));
    settings.speedLimitKb = 0;
    table.elapsedTick();
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(isFinished(table.slot(d).state), 10000);
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(whole(3));
}

QTEST_GUILESS_MAIN(TestCoreHeadless)
#include "tst_core_headless.moc"
