// A download is finished only with the server's whole file on disk, and the
// bytes already on disk are never spliced or thrown away because of a reply
// that contradicts what the download knows.
#include "engine_fixture.h"

#include "core/interval_timer.h"
#include "core/list_file.h"
#include "file_digest.h"
#include "ftp_script_server.h"
#include "http_script_server.h"
#include "log/log_append.h"
#include "rows/download.h"

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QTcpSocket>
#include <QtTest>

using namespace Qt::StringLiterals;
using testing::HttpScriptServer;

namespace {
constexpr int kWaitMs = 10000;
constexpr int kProof = 4096;

enum Outcome { Finishes, Retried, Stopped };
} // namespace

class TestIntegrity : public QObject {
    Q_OBJECT
private slots:
    void init() { clearLogEntries(); }

    void hostileReplies_data();
    void hostileReplies();
    void bytesOnDiskAreProvenFirst_data();
    void bytesOnDiskAreProvenFirst();
    void totalChangingBetweenConnectionsStops();
    void refusedTailProofFinishesNothing();
    void ftpWithoutSizeNeedsTheServersWord_data();
    void ftpWithoutSizeNeedsTheServersWord();
    void ftpLoginIsAskedOutsideTheHandlerWithRetriesHeld();
    void oneFileOneDownload();
    void listFilePathsBelongToTheProgramFolder();
    void damagedListIsKeptAside();
};

void TestIntegrity::hostileReplies_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("partial"); // bytes of the file on disk from this download's earlier run
    QTest::addColumn<int>("outcome");

    const QByteArray body = testing::testBytes(20000);
    const QByteArray length = QByteArray::number(body.size());
    QTest::newRow("1xx interim replies first")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </s.css>\r\n\r\n"
                      "HTTP/1.1 200 OK\r\nContent-Length: "
                      + length + "\r\n")
        << body << 0 << int(Finishes);
    QTest::newRow("two different lengths")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100\r\nContent-Length: " + length + "\r\n") << body << 0
        << int(Retried);
    QTest::newRow("an SSH banner") << QByteArray("SSH-2.0-OpenSSH_9.2p1\r\n") << body << 0 << int(Retried);
    QTest::newRow("a misspelt status line")
        << QByteArray("HTXP/1.1 200 OK\r\nContent-Length: " + length + "\r\n") << body << 0 << int(Retried);
    QTest::newRow("a maintenance page for a known size")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 33\r\n") << QByteArray(33, 'm') << 9000 << int(Stopped);
    QTest::newRow("a CR in a redirect's host")
        << QByteArray("HTTP/1.1 302 Found\r\nLocation: http://evil\rX-Injected: 1/x\r\n") << QByteArray() << 0
        << int(Stopped);
    QTest::newRow("a CR in a redirect's path")
        << QByteArray("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:9/x\rX-Injected: 1 ha finalizado\r\n")
        << QByteArray() << 0 << int(Stopped);
    QTest::newRow("a redirect to file:") << QByteArray("HTTP/1.1 302 Found\r\nLocation: file:///etc/passwd\r\n")
                                         << QByteArray() << 0 << int(Stopped);
    QTest::newRow("an empty Location") << QByteArray("HTTP/1.1 302 Found\r\nLocation: \r\n") << QByteArray() << 0
                                       << int(Retried);
    QTest::newRow("202, being prepared") << QByteArray("HTTP/1.1 202 Accepted\r\nContent-Length: 20\r\n")
                                         << QByteArray(20, 'p') << 0 << int(Retried);
    QTest::newRow("204 No Content") << QByteArray("HTTP/1.1 204 No Content\r\n") << QByteArray() << 0 << int(Stopped);
    QTest::newRow("203 with a body") << QByteArray("HTTP/1.1 203 Non-Authoritative\r\nContent-Length: " + length
                                                   + "\r\n")
                                     << body << 0 << int(Stopped);
    QTest::newRow("a gzip body never asked for")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " + length + "\r\n") << body << 0
        << int(Stopped);
    QTest::newRow("identity coding") << QByteArray(
        "HTTP/1.1 200 OK\r\nContent-Encoding: identity\r\nContent-Length: " + length + "\r\n")
                                     << body << 0 << int(Finishes);
}

void TestIntegrity::hostileReplies()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, body);
    QFETCH(int, partial);
    QFETCH(int, outcome);
    EngineFixture f;
    HttpScriptServer server;
    server.setReply(u"/f"_s, head, body);
    const QByteArray before = testing::testBytes(200000).left(partial);
    if (partial > 0)
        QVERIFY(testing::writeFile(f.target(u"f"_s), before));
    const int slot = f.add(server.url(u"/f"_s), u"f"_s, partial > 0 ? 200000 : 0, partial + 1, true);

    switch (outcome) {
    case Finishes:
        QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), kWaitMs);
        QCOMPARE(testing::readFile(f.target(u"f"_s)), body);
        return;
    case Retried:
        QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(slot).redo->isRunning(), kWaitMs);
        break;
    case Stopped:
        QTRY_VERIFY_WITH_TIMEOUT(f.window->indicador(slot)->redoend(), kWaitMs);
        QCOMPARE(f.prompts.notices().size(), 1);
        // The status tells the stop, not a reconnection that will not come.
        QCOMPARE(f.statusTexts(3).last(), f.prompts.notices()[0]);
        QVERIFY(!f.window->slot(slot).redo->isRunning());
        QCOMPARE(server.requests().size(), 1);
        break;
    }
    QVERIFY(!f.finished(slot));
    QVERIFY(f.window->existe(slot));
    QCOMPARE(testing::readFile(f.target(u"f"_s)), before);
    // Nothing but the file is ever asked for in a coded form.
    QCOMPARE(server.requests().first().header("Accept-Encoding"), QByteArray("identity"));
}

void TestIntegrity::bytesOnDiskAreProvenFirst_data()
{
    QTest::addColumn<QByteArray>("onDisk");
    QTest::addColumn<qint64>("position"); // as the list file has it
    QTest::addColumn<QList<qint64>>("ranges");
    QTest::addColumn<bool>("rewritten");

    const QByteArray body = testing::testBytes(100000);
    QByteArray damaged = body.left(30000);
    damaged.replace(29000, 500, QByteArray(500, 'z'));
    QTest::newRow("a new download onto an unrelated file")
        << QByteArray(30000, 'q') << qint64(0) << QList<qint64>{30000 - kProof, 0} << true;
    QTest::newRow("a partial file with a damaged tail")
        << damaged << qint64(30001) << QList<qint64>{30000 - kProof, 0} << true;
    QTest::newRow("a crash-resume whose bytes match")
        << body.left(30000) << qint64(30001) << QList<qint64>{30000 - kProof} << false;
    QTest::newRow("a file smaller than the proof")
        << QByteArray(1000, 'q') << qint64(1001) << QList<qint64>{0} << false;
}

void TestIntegrity::bytesOnDiskAreProvenFirst()
{
    QFETCH(QByteArray, onDisk);
    QFETCH(qint64, position);
    QFETCH(QList<qint64>, ranges);
    QFETCH(bool, rewritten);
    EngineFixture f;
    HttpScriptServer server;
    const QByteArray body = testing::testBytes(100000);
    server.setResource(u"/b"_s, body);
    QVERIFY(testing::writeFile(f.target(u"b"_s), onDisk));

    const int slot = f.add(server.url(u"/b"_s), u"b"_s, position > 0 ? body.size() : 0, position, true);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), kWaitMs);
    QCOMPARE(testing::readFile(f.target(u"b"_s)), body);
    QList<qint64> asked;
    for (const auto &request : server.requests())
        asked << request.rangeStart();
    QCOMPARE(asked, ranges);
    QCOMPARE(logHas(u"no coinciden"_s), rewritten);
}

void TestIntegrity::totalChangingBetweenConnectionsStops()
{
    EngineFixture f;
    HttpScriptServer server;
    const QByteArray first = testing::testBytes(200000, 1);
    HttpScriptServer::Options cut;
    cut.cutAfterBytes = 70000;
    server.enqueueResource(u"/v"_s, first, cut);
    server.setResource(u"/v"_s, testing::testBytes(300000, 2));

    const int slot = f.add(server.url(u"/v"_s), u"v"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(slot).redo->isRunning(), kWaitMs);
    const QByteArray kept = testing::readFile(f.target(u"v"_s));
    QVERIFY(kept.size() > 0 && first.startsWith(kept));

    f.window->redoTick(slot);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->indicador(slot)->redoend(), kWaitMs);
    QCOMPARE(testing::readFile(f.target(u"v"_s)), kept);
    QVERIFY(!f.finished(slot));
    QVERIFY(f.window->existe(slot));
    QCOMPARE(f.window->entry(slot).size, qint64(200000));
    QCOMPARE(f.prompts.notices().size(), 1);
    QVERIFY(f.prompts.notices()[0].contains(u"(200000 → 300000 bytes)"_s));
    QVERIFY(f.window->slot(slot).sizeChanged());
}

// A new download onto a file already there: its tail proof is refused as if
// it asked past the end, which says nothing of the bytes on disk.
void TestIntegrity::refusedTailProofFinishesNothing()
{
    EngineFixture f;
    HttpScriptServer server;
    server.setReply(u"/f"_s, "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */204800\r\n");
    const QByteArray foreign(204800, 'q');
    QVERIFY(testing::writeFile(f.target(u"f"_s), foreign));
    const int slot = f.add(server.url(u"/f"_s), u"f"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(slot).redo->isRunning(), kWaitMs);
    QCOMPARE(server.requests().first().rangeStart(), qint64(204800 - kProof));
    QVERIFY(!f.finished(slot));
    QCOMPARE(testing::readFile(f.target(u"f"_s)), foreign);
}

void TestIntegrity::ftpWithoutSizeNeedsTheServersWord_data()
{
    QTest::addColumn<QByteArray>("sizeReply");
    QTest::addColumn<qint64>("size"); // what the download knows afterwards
    QTest::newRow("a negative size") << QByteArray("213 -1\r\n") << qint64(0);
    QTest::newRow("text") << QByteArray("213 unknown\r\n") << qint64(0);
    QTest::newRow("beyond 63 bits") << QByteArray("213 99999999999999999999\r\n") << qint64(0);
    QTest::newRow("SIZE refused") << QByteArray("550 Could not get file size.\r\n") << qint64(0);
    QTest::newRow("a plain size") << QByteArray() << qint64(200000);
}

// Cut after 100 KB and told "426 Transfer aborted": lost, not finished.
void TestIntegrity::ftpWithoutSizeNeedsTheServersWord()
{
    QFETCH(QByteArray, sizeReply);
    QFETCH(qint64, size);
    const QByteArray whole = testing::testBytes(200000);
    testing::FtpScriptServer server;
    server.setFile(u"x.tgz"_s, whole);
    if (!sizeReply.isEmpty())
        server.setReply(u"SIZE x.tgz"_s, sizeReply);
    server.setCutDataAfter(100000);

    EngineFixture f;
    f.window->addnew(u"ftp://127.0.0.1:%1/x.tgz"_s.arg(server.port()), f.target(u"x"_s), 0, 0, false, 0, true,
                     u"anonymous"_s, u"guestpw"_s, false);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(1).redo->isRunning(), kWaitMs);
    QVERIFY(!f.finished(1));
    QCOMPARE(f.window->entry(1).size, size);

    f.window->redoTick(1);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(1), kWaitMs);
    QVERIFY(testing::readFile(f.target(u"x"_s)) == whole);
    // Nothing keeps reading from a server once the download is done.
    QTRY_COMPARE_WITH_TIMEOUT(server.openControlConnections(), 0, kWaitMs);
}

void TestIntegrity::ftpLoginIsAskedOutsideTheHandlerWithRetriesHeld()
{
    testing::FtpScriptServer server;
    server.setFile(u"x.tgz"_s, testing::testBytes(100));
    server.setRejectLogins(1);
    EngineFixture f;
    int openWhileAsking = -1;
    bool retriedWhileAsking = false;
    f.prompts.dialogs.enqueue([&](QDialog &) {
        // The refused connection is closed before the user is asked.
        const bool closed = QTest::qWaitFor([&] { return server.openControlConnections() == 0; }, kWaitMs);
        openWhileAsking = closed ? 0 : server.openControlConnections();
        // Long past the stall limit while the user thinks: no retry is spent.
        for (int k = 0; k < 30; ++k)
            f.window->tiempotransTick();
        retriedWhileAsking = f.window->slot(1).redo->isRunning();
        return int(QDialog::Accepted);
    });
    f.window->addnew(u"ftp://127.0.0.1:%1/x.tgz"_s.arg(server.port()), f.target(u"x"_s), 0, 0, false, 0, true,
                     u"anonymous"_s, u"guestpw"_s, false);
    QTRY_COMPARE_WITH_TIMEOUT(f.prompts.count(u"dialog"_s), 1, kWaitMs);
    QCOMPARE(openWhileAsking, 0);
    QVERIFY(!retriedWhileAsking);
    QCOMPARE(f.window->slot(1).retriesLeft, 5);
    QVERIFY(f.window->slot(1).redo->isRunning());
    f.window->redoTick(1);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(1), kWaitMs);
}

void TestIntegrity::oneFileOneDownload()
{
    EngineFixture f;
    RecordingQueue queue;
    queue.targets << f.target(u"queued"_s);
    f.window->setQueue(&queue);
    const QString refused =
        u"No se ha podido agregar el archivo:\r\nEl archivo %1 ya es el destino de otra descarga."_s;

    QCOMPARE(f.add(u"http://127.0.0.1:9/a"_s, u"same"_s), 1);
    f.window->addnew(u"http://127.0.0.1:9/b"_s, f.folder.path() + u"/sub/../same"_s, 0, 0, false, 0, true, {}, {},
                     false);
    f.window->addnew(u"http://127.0.0.1:9/c"_s, f.target(u"queued"_s), 0, 0, false, 0, true, {}, {}, false);
    QCOMPARE(f.prompts.messages(),
             QStringList({refused.arg(f.folder.path() + u"/sub/../same"_s), refused.arg(f.target(u"queued"_s))}));
    QCOMPARE(f.window->loadedRows(), 2);

    // On load a duplicate is skipped with the message; the rest of the list loads.
    EngineFixture g;
    QList<ListRecord> records(3);
    const QStringList names = {u"one"_s, u"one"_s, u"two"_s};
    for (int k = 0; k < 3; ++k) {
        records[k].url = u"http://127.0.0.1:9/"_s + QString::number(k);
        records[k].file = g.target(names[k]);
    }
    g.folder.write(u"activas.dwn"_s, encodeListFile(records, ListKind::Active));
    g.window->cargar_lista_activas();
    QCOMPARE(g.prompts.messages().size(), 1);
    QCOMPARE(g.window->loadedRows(), 3);
    QCOMPARE(g.window->entry(2).file, g.target(u"two"_s));
}

void TestIntegrity::listFilePathsBelongToTheProgramFolder()
{
    EngineFixture f;
    ListRecord r;
    r.url = u"http://127.0.0.1:9/x"_s;
    r.file = u"sub/x.bin"_s;
    f.folder.write(u"activas.dwn"_s, encodeListFile({r}, ListKind::Active));
    f.window->cargar_lista_activas();
    QVERIFY(f.window->existe(1));
    QCOMPARE(QDir::fromNativeSeparators(f.window->entry(1).file), QDir(f.folder.path()).filePath(u"sub/x.bin"_s));
}

// Record 2 of 3 has a damaged flag: 1 and 3 load, and the file as it was is
// copied aside before the next save writes only what loaded.
void TestIntegrity::damagedListIsKeptAside()
{
    EngineFixture f;
    QList<ListRecord> records(3);
    for (int k = 0; k < 3; ++k) {
        records[k].url = u"http://127.0.0.1:9/"_s + QString::number(k);
        records[k].file = f.target(u"f"_s + QString::number(k));
    }
    QByteArray bytes = encodeListFile(records, ListKind::Active);
    const qsizetype flag = bytes.indexOf("False", bytes.indexOf("/1\r\n"));
    bytes.replace(flag, 5, "Tru");
    f.folder.write(u"activas.dwn"_s, bytes);

    f.window->cargar_lista_activas();
    QCOMPARE(f.window->loadedRows(), 3); // the head row and two downloads
    QCOMPARE(f.window->entry(2).url, records[2].url);
    QCOMPARE(f.prompts.messages().size(), 1);
    QVERIFY2(f.prompts.messages()[0].contains(u"línea 15"_s), qPrintable(f.prompts.messages()[0]));
    QCOMPARE(testing::readFile(f.folder.file(u"activas.dwn.bak"_s)), bytes);
    QVERIFY(logHas(u"se ha guardado una copia en "_s + QDir::toNativeSeparators(f.folder.file(u"activas.dwn.bak"_s))));
    QCOMPARE(f.window->writeListNow(), QString());
    QCOMPARE(testing::readFile(f.folder.file(u"activas.dwn.bak"_s)), bytes);
}

QTEST_MAIN(TestIntegrity)
#include "tst_integrity.moc"
