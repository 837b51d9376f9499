// Downloads over several connections against nginx: cut connections, a
// restart from what a kill leaves, a server that refuses a second connection
// and one that answers a range with the whole file.
#include "core/active_table.h"
#include "core/program_folder.h"
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
    void restartFetchesOnlyWhatIsMissing();

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

    ActiveTable table;
    const SettingsValues v = settings(4);
    table.setSettings([&] { return v; });
    DownloadEntry e;
    e.url = proxy.url(u"slow/big.bin"_s);
    e.file = folder.filePath(u"big.bin"_s);
    const int i = table.add(e).slot;
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

// What a kill leaves (the file, activas.dwn, the side file) is taken up by
// a new table: only the missing bytes and their proofs are fetched again.
void TestSegmented::restartFetchesOnlyWhatIsMissing()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    platform::setProgramFolder(folder.path());
    const SettingsValues v = settings(4);
    DownloadEntry e;
    e.url = nginx_.url(u"slow/big.bin"_s);
    e.file = folder.filePath(u"big.bin"_s);
    qint64 onDiskAtStop = 0;
    {
        ActiveTable table;
        table.setSettings([&] { return v; });
        const int i = table.add(e).slot;
        QTRY_VERIFY_WITH_TIMEOUT(table.slot(i).e.written > kSize / 3, 30000);
        QVERIFY(!isFinished(table.slot(i).state));
        QVERIFY(table.saveNow().isEmpty());
        QTest::qWait(1100); // the side file is at most a second behind
        onDiskAtStop = table.slot(i).e.written;
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

QTEST_GUILESS_MAIN(TestSegmented)
#include "tst_segmented.moc"
