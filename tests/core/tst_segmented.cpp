// Downloads over several connections against nginx: cut connections, a
// restart from what a kill leaves, a server that refuses a second connection
// and one that answers a range with the whole file.
#include "core/active_table.h"
#include "core/download_state.h"
#include "core/figures.h"
#include "core/program_folder.h"
#include "core/queue_table.h"
#include "core/segment_file.h"
#include "cutting_proxy.h"
#include "file_digest.h"
#include "http_script_server.h"
#include "nginx_fixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <numeric>

using namespace Qt::StringLiterals;

namespace {
constexpr qint64 kSize = 16 * 1024 * 1024;
constexpr qint64 kProof = 4096;
constexpr qint64 kHeaderRoom = 1024; // a reply header, per connection

// One download in a table of its own, over four connections.
struct Run {
    Run(const QString &url, const QString &file)
    {
        values.vecesv = 50;
        values.segsv = 1;
        values.waitv = 5;
        values.connections = 4;
        table.setSettings([this] { return values; });
        e.url = url;
        e.file = file;
        slot = table.add(e).slot;
    }
    const Slot &row() const { return table.slot(slot); }
    SettingsValues values;
    ActiveTable table;
    DownloadEntry e;
    int slot = 0;
};

qint64 sum(const QList<qint64> &values)
{
    return std::accumulate(values.begin(), values.end(), qint64(0));
}
} // namespace

class TestSegmented : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void fourConnectionsThroughCuts();
    void fourConnectionsUnderASpeedLimit();
    void pauseAndContinue();
    void restartFetchesOnlyWhatIsMissing_data();
    void restartFetchesOnlyWhatIsMissing();
    void expiredAfterRestartKnowsItsValidator();
    void secondConnectionRefused_data();
    void secondConnectionRefused();
    void wholeFileForARangeStops();

private:
    SettingsValues settings(int connections) const;
    QTemporaryDir served_;
    testing::NginxFixture nginx_;
    QByteArray digest_;
};

void TestSegmented::initTestCase()
{
    if (!QFile::exists(QString::fromLatin1(testing::NginxFixture::kBinary)))
        QSKIP("nginx is not installed");
    QVERIFY(served_.isValid());
    const QString name = served_.filePath(u"big.bin"_s);
    QVERIFY(testing::writeRandomFile(name, kSize, 7));
    digest_ = testing::sha256OfFile(name);
    QVERIFY2(nginx_.start(served_.path()), qPrintable(nginx_.errorText()));
}

SettingsValues TestSegmented::settings(int connections) const
{
    SettingsValues v;
    v.vecesv = 50;
    v.segsv = 1;
    v.waitv = 5;
    v.connections = connections;
    return v;
}

// Cuts in the middle of segments: every range is fetched once, apart from
// the tail proofs and what was in flight at a cut.
void TestSegmented::fourConnectionsThroughCuts()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    platform::setProgramFolder(folder.path());
    testing::CuttingProxy proxy(u"127.0.0.1"_s, nginx_.port());
    proxy.setCut(1536 * 1024, 3);

    Run run(proxy.url(u"slow/big.bin"_s), folder.filePath(u"big.bin"_s));
    ActiveTable &table = run.table;
    const DownloadEntry &e = run.e;
    const int i = run.slot;
    QVERIFY(i > 0);
    int most = 0;
    QTRY_VERIFY_WITH_TIMEOUT((most = std::max(most, table.slot(i).e.connections), isFinished(table.slot(i).state)),
                             60000);
    QCOMPARE(most, 4);
    QCOMPARE(testing::sha256OfFile(e.file), digest_);
    QVERIFY(!QFile::exists(segmentFilePath(e.file)));
    QVERIFY(proxy.cutCount() >= 1);
    const qint64 sent = sum(proxy.bytesToClients());
    QVERIFY2(sent <= kSize + proxy.connectionCount() * (kProof + kHeaderRoom) + 3 * 256 * 1024,
             qPrintable(QString::number(sent)));
}

// A pause hands the download to the queue, whose row shows every byte on
// disk; continued from there, it finishes from what the side file keeps.
void TestSegmented::pauseAndContinue()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    platform::setProgramFolder(folder.path());
    Run run(nginx_.url(u"slow/big.bin"_s), folder.filePath(u"big.bin"_s));
    QueueTable queue;
    queue.setActive(&run.table);
    const int i = run.slot;
    QTRY_VERIFY_WITH_TIMEOUT(run.row().e.written > kSize / 4 && run.row().e.connections == 4, 30000);
    QVERIFY(run.table.handToQueue(i));
    const qint64 written = run.row().e.written;
    run.table.remove(i, false);
    QVERIFY(queue.existe(1));
    QVERIFY(bytesOnDisk(queue.entry(1)) >= written);
    QVERIFY(QFile::exists(segmentFilePath(run.e.file)));
    QVERIFY(queue.resume(1));
    QTRY_VERIFY_WITH_TIMEOUT(run.table.existe(1) && isFinished(run.table.slot(1).state), 60000);
    QCOMPARE(testing::sha256OfFile(run.e.file), digest_);
}

void TestSegmented::restartFetchesOnlyWhatIsMissing_data()
{
    QTest::addColumn<bool>("listBeforeReply");
    QTest::newRow("list saved on the way") << false;
    // A kill before the list was saved again: it knows neither size nor position.
    QTest::newRow("list saved before the first reply") << true;
}

// The limit is shared by the download's connections; reads held back by it
// must not take the connections still opening for closed ones.
void TestSegmented::fourConnectionsUnderASpeedLimit()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    platform::setProgramFolder(folder.path());
    Run run(nginx_.url(u"big.bin"_s), folder.filePath(u"big.bin"_s));
    run.values.speedLimitKb = 8192;
    run.table.setSettings([&run] { return run.values; });
    ActiveTable &table = run.table;
    QList<Message::Id> lines;
    connect(&table, &ActiveTable::logLine, this, [&lines](const Message &line) { lines << line.id; });
    const int i = run.slot;
    QTRY_VERIFY_WITH_TIMEOUT(isFinished(table.slot(i).state), 60000);
    run.values.speedLimitKb = 0;
    run.table.setSettings([&run] { return run.values; });
    QVERIFY(!lines.contains(Message::Id::FewerConnections));
    QCOMPARE(testing::sha256OfFile(run.e.file), digest_);
}

// What a kill leaves (the file, activas.dwn, the side file) is taken up by
// a new table: only the missing bytes and their proofs are fetched again.
void TestSegmented::restartFetchesOnlyWhatIsMissing()
{
    QFETCH(bool, listBeforeReply);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    platform::setProgramFolder(folder.path());
    const SettingsValues v = settings(4);
    DownloadEntry e;
    e.url = nginx_.url(u"slow/big.bin"_s);
    e.file = folder.filePath(u"big.bin"_s);
    qint64 onDiskAtStop = 0;
    QByteArray listAtAdd;
    {
        ActiveTable table;
        table.setSettings([&] { return v; });
        const int i = table.add(e).slot;
        QVERIFY(table.saveNow().isEmpty());
        QFile early(platform::programFile(u"activas.dwn"_s));
        QVERIFY(early.open(QIODevice::ReadOnly));
        listAtAdd = early.readAll();
        QTRY_VERIFY_WITH_TIMEOUT(table.slot(i).e.written > kSize / 3, 30000);
        QVERIFY(!isFinished(table.slot(i).state));
        QVERIFY(table.saveNow().isEmpty());
        QTest::qWait(1100); // the side file is at most a second behind
        onDiskAtStop = table.slot(i).e.written;
    }
    if (listBeforeReply) {
        QFile early(platform::programFile(u"activas.dwn"_s));
        QVERIFY(early.open(QIODevice::WriteOnly | QIODevice::Truncate));
        early.write(listAtAdd);
    }
    QVERIFY(QFile::exists(segmentFilePath(e.file)));
    testing::CuttingProxy counting(u"127.0.0.1"_s, nginx_.port());
    // The list names nginx; the second run goes through the counting proxy.
    QFile list(platform::programFile(u"activas.dwn"_s));
    QVERIFY(list.open(QIODevice::ReadOnly));
    QByteArray bytes = list.readAll();
    list.close();
    bytes.replace(nginx_.url(u"slow/big.bin"_s).toUtf8(), counting.url(u"slow/big.bin"_s).toUtf8());
    QVERIFY(list.open(QIODevice::WriteOnly | QIODevice::Truncate));
    list.write(bytes);
    list.close();

    ActiveTable again;
    again.setSettings([&] { return v; });
    again.load();
    QVERIFY(again.existe(1));
    QTRY_VERIFY_WITH_TIMEOUT(isFinished(again.slot(1).state), 60000);
    QCOMPARE(testing::sha256OfFile(e.file), digest_);
    QVERIFY(!QFile::exists(segmentFilePath(e.file)));
    const qint64 sent = sum(counting.bytesToClients());
    // Bytes written in the last second before the stop may be fetched again.
    const qint64 slack = 4 * 1024 * 1024 + counting.connectionCount() * (2 * kProof + kHeaderRoom);
    QVERIFY2(sent <= kSize - onDiskAtStop + slack,
             qPrintable(u"%1 sent, %2 were on disk"_s.arg(sent).arg(onDiskAtStop)));
}

// Taken up after a restart, a download whose address now refuses it still
// knows the validator its side file kept: a new address is held to it.
void TestSegmented::expiredAfterRestartKnowsItsValidator()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    platform::setProgramFolder(folder.path());
    const QString url = nginx_.url(u"slow/big.bin"_s);
    {
        Run run(url, folder.filePath(u"big.bin"_s));
        QTRY_VERIFY_WITH_TIMEOUT(run.row().e.written > kSize / 4 && run.row().e.connections == 4, 30000);
        QVERIFY(run.table.saveNow().isEmpty());
    }
    const std::optional<SegmentRecord> side =
        segmentFileHeader(testing::readFile(segmentFilePath(folder.filePath(u"big.bin"_s))));
    QVERIFY(side && !side->validator.isEmpty());
    testing::HttpScriptServer expired;
    expired.setReply(u"/slow/big.bin"_s, "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n");
    const QString list = platform::programFile(u"activas.dwn"_s);
    QVERIFY(testing::writeFile(
        list, testing::readFile(list).replace(url.toUtf8(), expired.url(u"/slow/big.bin"_s).toUtf8())));

    ActiveTable again;
    again.setSettings([this] { return settings(4); });
    again.load();
    QTRY_COMPARE_WITH_TIMEOUT(again.slot(1).stopReason, StopReason::AddressExpired, 20000);
    QCOMPARE(again.slot(1).validator, side->validator);
}

namespace {
QByteArray patterned(qint64 size)
{
    QByteArray body(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        body[i] = char((i * 7 + i / 4093) & 0xFF);
    return body;
}

// The first reply comes slowly, so the other connections are opened while
// it runs.
testing::HttpReplyOptions slowly()
{
    testing::HttpReplyOptions o;
    o.bodyPieceSize = 64 * 1024;
    o.pieceDelayMs = 20;
    return o;
}
} // namespace

// A server that will not serve a second connection leaves the download on
// the connections that work; the file still completes.
void TestSegmented::secondConnectionRefused_data()
{
    QTest::addColumn<QByteArray>("refusal");
    QTest::newRow("503") << QByteArray("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n");
    QTest::newRow("429") << QByteArray("HTTP/1.1 429 Too Many Requests\r\nContent-Length: 0\r\n");
}
void TestSegmented::secondConnectionRefused()
{
    QFETCH(QByteArray, refusal);
    QTemporaryDir folder;
    platform::setProgramFolder(folder.path());
    testing::HttpScriptServer server;
    const QByteArray body = patterned(3 * 1024 * 1024 + 123);
    server.enqueueResource(u"/f.bin"_s, body, slowly());
    // Three pieces of a megabyte: both other connections are refused.
    for (int n = 0; n < 2; ++n)
        server.enqueueReply(u"/f.bin"_s, refusal);
    server.setResource(u"/f.bin"_s, body);

    Run run(server.url(u"f.bin"_s), folder.filePath(u"f.bin"_s));
    ActiveTable &table = run.table;
    const DownloadEntry &e = run.e;
    const int i = run.slot;
    QTRY_VERIFY_WITH_TIMEOUT(isFinished(table.slot(i).state), 30000);
    QFile f(e.file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll() == body);
    // The first connection took up the refused ranges without a retry of
    // the download: every request past the first named its range's end.
    QCOMPARE(run.row().retriesLeft, run.values.vecesv);
    const QList<testing::HttpScriptServer::Request> asked = server.requests(u"/f.bin"_s);
    QVERIFY(asked.size() >= 4);
    for (qsizetype n = 1; n < asked.size(); ++n)
        QVERIFY2(asked[n].rangeEnd() >= asked[n].rangeStart(), asked[n].raw.constData());
}

// A 200 to a range is another answer than the first: everything stops, the
// bytes stay, nothing of the whole body is spliced in.
void TestSegmented::wholeFileForARangeStops()
{
    QTemporaryDir folder;
    platform::setProgramFolder(folder.path());
    testing::HttpScriptServer server;
    const QByteArray body = patterned(3 * 1024 * 1024);
    testing::HttpReplyOptions whole;
    whole.honourRanges = false;
    server.enqueueResource(u"/f.bin"_s, body, slowly());
    server.setResource(u"/f.bin"_s, QByteArray(body.size(), 'x'), whole);

    Run run(server.url(u"f.bin"_s), folder.filePath(u"f.bin"_s));
    ActiveTable &table = run.table;
    const DownloadEntry &e = run.e;
    const int i = run.slot;
    QTRY_VERIFY_WITH_TIMEOUT(table.slot(i).state == DownloadState::Stopped, 30000);
    QVERIFY(table.slot(i).sizeChanged());
    QFile f(e.file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray onDisk = f.readAll();
    QVERIFY(!onDisk.contains(QByteArray(64, 'x')));
    const qint64 kept = table.slot(i).e.position - 1;
    QCOMPARE(onDisk.left(kept), body.left(kept));
}

QTEST_GUILESS_MAIN(TestSegmented)
#include "tst_segmented.moc"
