// A download whose address expires halfway (a scripted server that answers
// 403 once it has given a part) is taken over by another address, but only
// by one that serves the same bytes: nginx serves the same file and a
// different one of the same size.
#include "core/active_table.h"
#include "core/address_rebind.h"
#include "core/list_file.h"
#include "core/program_folder.h"
#include "file_digest.h"
#include "http_script_server.h"
#include "nginx_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
constexpr qint64 kSize = 3 * 1024 * 1024 + 123;
constexpr qint64 kGivenBeforeExpiry = 1024 * 1024;
} // namespace

class TestRebind : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void expiredAddressIsReplacedOnlyByTheSameFile_data();
    void expiredAddressIsReplacedOnlyByTheSameFile();

private:
    QTemporaryDir served_;
    testing::NginxFixture nginx_;
    QByteArray source_;
};

void TestRebind::initTestCase()
{
    if (!QFile::exists(QString::fromLatin1(testing::NginxFixture::kBinary)))
        QSKIP("nginx is not installed");
    QVERIFY(served_.isValid());
    source_ = testing::testBytes(int(kSize), 7);
    QVERIFY(QDir(served_.path()).mkpath(u"mirror"_s) && QDir(served_.path()).mkpath(u"other"_s));
    QVERIFY(testing::writeFile(served_.filePath(u"mirror/disco.bin"_s), source_));
    QVERIFY2(nginx_.start(served_.path()), qPrintable(nginx_.errorText()));
}

void TestRebind::expiredAddressIsReplacedOnlyByTheSameFile_data()
{
    QTest::addColumn<int>("connections");
    QTest::newRow("one connection") << 1;
    QTest::newRow("several connections") << 4;
}

void TestRebind::expiredAddressIsReplacedOnlyByTheSameFile()
{
    QFETCH(int, connections);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    platform::setProgramFolder(folder.path());

    // The signed address: part of the file, then refused for good.
    testing::HttpScriptServer signedHost;
    testing::HttpReplyOptions cut;
    cut.cutAfterBytes = kGivenBeforeExpiry;
    cut.honourRanges = false;
    signedHost.enqueueResource(u"/s/disco.bin"_s, source_, cut);
    signedHost.setReply(u"/s/disco.bin"_s, "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n");

    ActiveTable table;
    SettingsValues settings;
    settings.vecesv = 5;
    settings.segsv = 1;
    settings.connections = connections;
    table.setSettings([&] { return settings; });
    QStringList log;
    connect(&table, &ActiveTable::logLine, this, [&](const Message &m, quint32) { log << QString::number(int(m.id)); });
    QSignalSpy judged(&table, &ActiveTable::rebindJudged);

    DownloadEntry e;
    e.url = signedHost.url(u"/s/disco.bin"_s);
    e.file = folder.filePath(u"disco.bin"_s);
    const int i = table.add(e).slot;
    QVERIFY(i > 0);
    QTRY_VERIFY_WITH_TIMEOUT(table.slot(i).state == DownloadState::Stopped, 20000);
    QCOMPARE(table.slot(i).stopReason, StopReason::AddressExpired);
    QVERIFY(log.contains(QString::number(int(Message::Id::AddressExpired))));
    // Stopped is final: no retry knocks again on the refusing address.
    const int asked = signedHost.requestCount(u"/s/disco.bin"_s);
    QCOMPARE(asked, 2);
    QTest::qWait(2500);
    QCOMPARE(signedHost.requestCount(u"/s/disco.bin"_s), asked);
    QCOMPARE(table.slot(i).state, DownloadState::Stopped);
    const qint64 kept = table.slot(i).e.position - 1;
    QVERIFY(kept > 0 && kept <= kGivenBeforeExpiry);
    QVERIFY(table.canRebind(i));

    const auto listBytes = [&] {
        table.waitForSaves();
        return testing::readFile(platform::programFile(u"activas.dwn"_s));
    };
    // Another file of the same size that differs from the bytes on disk in
    // one byte just before the position: only the tail proof tells them apart.
    QByteArray other = source_;
    other[kept - 10] = char(other[kept - 10] ^ 0x55);
    QVERIFY(testing::writeFile(served_.filePath(u"other/disco.bin"_s), other));

    const QByteArray fileBefore = testing::sha256OfFile(e.file);
    const QByteArray listBefore = listBytes();
    QVERIFY(!listBefore.isEmpty());

    // The same name and size, other bytes: refused, nothing touched.
    table.rebind(i, nginx_.url(u"other/disco.bin"_s));
    QTRY_COMPARE_WITH_TIMEOUT(judged.size(), 1, 20000);
    QCOMPARE(judged.at(0).at(2).toBool(), false);
    QCOMPARE(judged.at(0).at(1).value<Message>().id, Message::Id::RebindRefused);
    QCOMPARE(judged.at(0).at(1).value<Message>().args.value(2), QString::number(int(BindVerdict::OtherBytes)));
    QCOMPARE(testing::sha256OfFile(e.file), fileBefore);
    QCOMPARE(listBytes(), listBefore);
    QCOMPARE(table.slot(i).state, DownloadState::Stopped);
    QCOMPARE(table.slot(i).e.url, e.url);

    // The mirror of the same file: proven, taken, and the rest fetched.
    const QString mirror = nginx_.url(u"mirror/disco.bin"_s);
    table.rebind(i, mirror);
    QTRY_COMPARE_WITH_TIMEOUT(judged.size(), 2, 20000);
    QCOMPARE(judged.at(1).at(2).toBool(), true);
    QTRY_VERIFY_WITH_TIMEOUT(isFinished(table.slot(i).state), 30000);
    QCOMPARE(testing::sha256OfFile(e.file), testing::sha256OfFile(served_.filePath(u"mirror/disco.bin"_s)));
    QCOMPARE(table.slot(i).e.url, mirror);
    // The mirror was asked for the tail first, then for what was missing.
    QVERIFY2(nginx_.accessLog().contains(u"GET /mirror/disco.bin"_s), qPrintable(nginx_.accessLog()));
    const QStringList steps = {
        QString::number(int(Message::Id::AddressExpired)), QString::number(int(Message::Id::RebindProving)),
        QString::number(int(Message::Id::RebindRefused)), QString::number(int(Message::Id::RebindProving)),
        QString::number(int(Message::Id::RebindContinued))};
    qsizetype at = 0;
    for (const QString &step : steps) {
        at = log.indexOf(step, at);
        QVERIFY2(at >= 0, qPrintable(log.join(u' ')));
    }
}

QTEST_GUILESS_MAIN(TestRebind)
#include "tst_rebind.moc"
