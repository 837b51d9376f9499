// The active window against a scripted HTTP server: what it asks, what ends
// up on disk, and how it behaves when the server or the network misbehave.
#include "engine_fixture.h"

#include "core/interval_timer.h"
#include "core/list_file.h"
#include "file_digest.h"
#include "http_script_server.h"
#include "log/log_append.h"
#include "rows/download.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

using namespace Qt::StringLiterals;
using testing::HttpScriptServer;
Q_DECLARE_METATYPE(testing::HttpScriptServer::Options)

class TestActivasHttp : public QObject {
    Q_OBJECT
private slots:
    void init() { clearLogEntries(); }

    void freshDownloadAsksFromByteZeroAndFinishes_data();
    void freshDownloadAsksFromByteZeroAndFinishes();
    void resumesFromTheBytesOnDisk();
    void serverIgnoringRangesRewritesTheFile();
    void rangeStartingElsewhereIsRetried();
    void redirectChainIsFollowed();
    void redirectLoopStops();
    void notFoundRemovesRowAndPartialFile();
    void errorStatusesStopWithoutSavingThePage_data();
    void errorStatusesStopWithoutSavingThePage();
    void unavailableIsRetried();
    void serverAskedWaitSetsTheRetryDelay_data();
    void serverAskedWaitSetsTheRetryDelay();
    void cutConnectionResumesOnRetry();
    void stallIsDetectedAndRetryStillFires();
    void retryBudgetRunsOut();
    void exhaustedWithDelincRemovesSilently();
    void rangeNotSatisfiableWithCompleteFileFinishes();
    void rangeRefusedFromTheStartIsNotALoop_data();
    void rangeRefusedFromTheStartIsNotALoop();
    void badAddressLeavesNoRow();
    void unwritableTargetIsNeverFinished();
    void listFileRoundTrip();
    void admissionRuleSendsToQueue();
    void speedTickFillsStatusBar();
    void existeBounds();
    void finishStepsFollowTheSettings();
    void fullTableReportsTheError();
};

void TestActivasHttp::freshDownloadAsksFromByteZeroAndFinishes_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<HttpScriptServer::Options>("options");
    HttpScriptServer::Options plain;
    QTest::newRow("ranged 206") << 300000 << plain;
    HttpScriptServer::Options split;
    split.headerSplits = {5, 9, 17};
    split.bodyPieceSize = 7000;
    QTest::newRow("header in pieces") << 50000 << split;
    HttpScriptServer::Options chunked;
    chunked.chunked = true;
    chunked.chunkSize = 4000;
    chunked.honourRanges = false;
    QTest::newRow("chunked") << 30001 << chunked;
    HttpScriptServer::Options noLength;
    noLength.sendContentLength = false;
    noLength.honourRanges = false;
    QTest::newRow("no length, close ends it") << 20000 << noLength;
    HttpScriptServer::Options empty;
    QTest::newRow("one byte") << 1 << empty;
}

void TestActivasHttp::freshDownloadAsksFromByteZeroAndFinishes()
{
    QFETCH(int, size);
    QFETCH(HttpScriptServer::Options, options);
    EngineFixture f;
    HttpScriptServer server;
    const QByteArray body = testing::testBytes(size);
    server.setResource(u"/dir/file.bin"_s, body, options);

    const int slot = f.add(server.url(u"/dir/file.bin"_s), u"file.bin"_s);
    QCOMPARE(slot, 1);
    QVERIFY(f.window->indicador(1)->Reconectando());
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), 10000);

    QCOMPARE(testing::readFile(f.target(u"file.bin"_s)), body);
    const auto requests = server.requests();
    QCOMPARE(requests.size(), 1);
    const QByteArray raw = requests[0].raw;
    QVERIFY(raw.startsWith("GET /dir/file.bin HTTP/1.1\r\n"));
    QVERIFY(raw.contains("\r\nUser-Agent: Tandrel\r\n"));
    QVERIFY(raw.contains(QByteArray("\r\nHost: 127.0.0.1:" + QByteArray::number(server.port()) + "\r\n")));
    QVERIFY(raw.contains("\r\nConnection: close\r\n"));
    QVERIFY(raw.endsWith("\r\nRange: bytes=0-\r\n\r\n"));
    QCOMPARE(f.window->indicador(slot)->porcentaje(), 100);
    QVERIFY(f.statusTexts(3).contains(u"Finalizada la descarga de "_s + server.url(u"/dir/file.bin"_s)));
    QVERIFY(!logEntries().isEmpty());
    QVERIFY(logEntries().last().text.startsWith(u"\r\nLa descarga de "_s));
    QCOMPARE(f.window->entry(slot).resumable, options.honourRanges && !options.chunked);
}

void TestActivasHttp::resumesFromTheBytesOnDisk()
{
    EngineFixture f;
    HttpScriptServer server;
    const QByteArray body = testing::testBytes(120000);
    server.setResource(u"/a.bin"_s, body);
    QVERIFY(testing::writeFile(f.target(u"a.bin"_s), body.left(5000)));

    const int slot = f.add(server.url(u"/a.bin"_s), u"a.bin"_s, 120000, 5001, true);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), 10000);
    QCOMPARE(testing::readFile(f.target(u"a.bin"_s)), body);
    QCOMPARE(server.requests().size(), 1);
    // Bytes this run did not write are proven first: the tail is asked again.
    QCOMPARE(server.requests()[0].rangeStart(), 5000 - 4096);
    QCOMPARE(f.window->entry(slot).size, 120000);
}

void TestActivasHttp::serverIgnoringRangesRewritesTheFile()
{
    EngineFixture f;
    HttpScriptServer server;
    const QByteArray body = testing::testBytes(40000);
    HttpScriptServer::Options options;
    options.honourRanges = false;
    server.setResource(u"/x"_s, body, options);
    QVERIFY(testing::writeFile(f.target(u"x"_s), QByteArray(5000, 'z'))); // stale bytes that must not survive

    const int slot = f.add(server.url(u"/x"_s), u"x"_s, 0, 5001, false);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), 10000);
    QCOMPARE(testing::readFile(f.target(u"x"_s)), body);
    QCOMPARE(f.window->entry(slot).size, 40000);
    QVERIFY(!f.window->entry(slot).resumable);
}

void TestActivasHttp::rangeStartingElsewhereIsRetried()
{
    EngineFixture f;
    HttpScriptServer server;
    const QByteArray body = testing::testBytes(30000);
    HttpScriptServer::Options wrong;
    wrong.wrongRangeOffset = 100;
    server.enqueueResource(u"/w"_s, body, wrong);
    server.setResource(u"/w"_s, body);
    QVERIFY(testing::writeFile(f.target(u"w"_s), body.left(9000)));

    const int slot = f.add(server.url(u"/w"_s), u"w"_s, 30000, 9001, true);
    // A range from elsewhere cannot be placed: the good bytes stay, a retry follows.
    QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(slot).redo->isRunning(), 10000);
    QCOMPARE(testing::readFile(f.target(u"w"_s)), body.left(9000));
    f.window->redoTick(slot);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), 10000);
    QCOMPARE(testing::readFile(f.target(u"w"_s)), body);
    QCOMPARE(server.requests().size(), 2);
    QCOMPARE(server.requests()[1].rangeStart(), 9000 - 4096);
}

void TestActivasHttp::redirectChainIsFollowed()
{
    EngineFixture f;
    HttpScriptServer server;
    const QByteArray body = testing::testBytes(10000);
    server.setReply(u"/one"_s, "HTTP/1.1 301 Moved\r\nLocation: " + server.url(u"/two"_s).toUtf8() + "\r\n");
    server.setReply(u"/two"_s, "HTTP/1.1 302 Found\r\nLocation: three\r\nContent-Length: 0\r\n");
    server.setReply(u"/three"_s, "HTTP/1.1 307 Temporary\r\nLocation: /final.bin\r\n");
    server.setResource(u"/final.bin"_s, body);

    const int slot = f.add(server.url(u"/one"_s), u"r.bin"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), 10000);
    QCOMPARE(testing::readFile(f.target(u"r.bin"_s)), body);
    QCOMPARE(f.window->entry(slot).url, server.url(u"/final.bin"_s));
    QVERIFY(f.statusTexts(3).contains(u"El archivo "_s + server.url(u"/one"_s) + u" ha sido movido a "_s
                                      + server.url(u"/two"_s) + u".Se reconectará a esa dirección"_s));
}

void TestActivasHttp::redirectLoopStops()
{
    EngineFixture f;
    HttpScriptServer server;
    server.setReply(u"/loop"_s, "HTTP/1.1 302 Found\r\nLocation: /loop\r\n");
    const int slot = f.add(server.url(u"/loop"_s), u"loop"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->indicador(slot)->redoend(), 10000);
    QCOMPARE(server.requestCount(u"/loop"_s), 11);
    QCOMPARE(f.prompts.notices().size(), 1);
    QVERIFY(f.prompts.notices()[0].contains(u"redirecciones"_s));
    QVERIFY(!f.finished(slot));
    QVERIFY(!f.window->slot(slot).redo->isRunning());
}

void TestActivasHttp::notFoundRemovesRowAndPartialFile()
{
    EngineFixture f;
    HttpScriptServer server;
    server.setReply(u"/gone"_s, "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n", "not found");
    // Nothing fetched yet: nothing to keep (a download with bytes on disk
    // stops instead, its address expired: tst_address_rebind).
    const QString url = server.url(u"/gone"_s);
    const int slot = f.add(url, u"gone"_s);
    QTRY_VERIFY_WITH_TIMEOUT(!f.window->existe(slot), 10000);
    QVERIFY(!f.window->indicador(slot));
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(f.target(u"gone"_s)), 10000);
    QCOMPARE(f.prompts.notices(), QStringList{u"El archivo "_s + url + u" no existe."_s});
    QCOMPARE(f.window->loadedRows(), 1);
}

void TestActivasHttp::errorStatusesStopWithoutSavingThePage_data()
{
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<QString>("notice");
    QTest::newRow("400") << QByteArray("HTTP/1.1 400 Bad Request") << u"Error de sintaxis en la petición"_s;
    // With bytes on disk these say the address no longer serves the file.
    const QString expired =
        u"Se ha detenido la descarga de e: la dirección ya no es válida ($URL, el servidor responde «%1»). Lo "
        "descargado se conserva; use «Buscar nueva dirección» para continuar con otra."_s;
    QTest::newRow("401") << QByteArray("HTTP/1.1 401 Unauthorized") << expired.arg(u"401 Unauthorized"_s);
    QTest::newRow("403") << QByteArray("HTTP/1.1 403 Forbidden") << expired.arg(u"403 Forbidden"_s);
    QTest::newRow("410") << QByteArray("HTTP/1.1 410 Gone") << expired.arg(u"410 Gone"_s);
    QTest::newRow("500") << QByteArray("HTTP/1.1 500 Oops") << u"Error interno del servidor 127.0.0.1."_s;
}

void TestActivasHttp::errorStatusesStopWithoutSavingThePage()
{
    QFETCH(QByteArray, statusLine);
    QFETCH(QString, notice);
    EngineFixture f;
    HttpScriptServer server;
    server.setReply(u"/e"_s, statusLine + "\r\nContent-Length: 10\r\n", "error page");
    QVERIFY(testing::writeFile(f.target(u"e"_s), "kept"));
    const QString url = server.url(u"/e"_s);
    notice.replace(u"$URL"_s, url);
    const int slot = f.add(url, u"e"_s, 0, 5, false);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->indicador(slot)->redoend(), 10000);
    QCOMPARE(f.prompts.notices(), QStringList{notice});
    // A status without a notice of its own is also kept in the log, in red.
    if (statusLine.contains(" 410 ")) {
        QTRY_VERIFY_WITH_TIMEOUT(logHas(notice), 10000);
        QCOMPARE(logEntries().last().color, quint32(0x0000FF));
    }
    QCOMPARE(testing::readFile(f.target(u"e"_s)), QByteArray("kept"));
    QVERIFY(f.window->existe(slot));
    QVERIFY(!f.finished(slot));
    QVERIFY(!f.window->slot(slot).redo->isRunning());
}

void TestActivasHttp::unavailableIsRetried()
{
    EngineFixture f;
    HttpScriptServer server;
    const QByteArray body = testing::testBytes(9000);
    server.enqueueReply(u"/busy"_s, "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 4\r\n", "busy");
    server.setResource(u"/busy"_s, body);
    const int slot = f.add(server.url(u"/busy"_s), u"busy"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(slot).redo->isRunning(), 10000);
    QCOMPARE(f.window->slot(slot).redo->interval(), 5000);
    QVERIFY(testing::readFile(f.target(u"busy"_s)).isEmpty());
    f.window->redoTick(slot);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), 10000);
    QCOMPARE(testing::readFile(f.target(u"busy"_s)), body);
    QCOMPARE(f.window->slot(slot).retriesLeft, 4);
}

void TestActivasHttp::serverAskedWaitSetsTheRetryDelay_data()
{
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<QByteArray>("retryAfter");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<QString>("told");
    QTest::newRow("429 for 20 s") << QByteArray("HTTP/1.1 429 Too Many Requests") << QByteArray("20") << 20000
                                  << u"ha recibido demasiadas peticiones"_s;
    QTest::newRow("408 sooner than the user's delay")
        << QByteArray("HTTP/1.1 408 Request Timeout") << QByteArray("1") << 7000 << u"ha dejado de esperar"_s;
}

// The wait a busy server asks for paces the next try, on the retry budget.
void TestActivasHttp::serverAskedWaitSetsTheRetryDelay()
{
    QFETCH(QByteArray, statusLine);
    QFETCH(QByteArray, retryAfter);
    QFETCH(int, delayMs);
    QFETCH(QString, told);
    EngineFixture f;
    f.settings->setSegsv(7);
    HttpScriptServer server;
    const QByteArray body = testing::testBytes(5000);
    server.enqueueReply(u"/b"_s, statusLine + "\r\nRetry-After: " + retryAfter + "\r\nContent-Length: 4\r\n", "busy");
    server.setResource(u"/b"_s, body);
    const int slot = f.add(server.url(u"/b"_s), u"b"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(slot).redo->isRunning(), 10000);
    QCOMPARE(f.window->slot(slot).redo->interval(), delayMs);
    QVERIFY(f.window->indicador(slot)->Reconectando());
    QVERIFY(f.prompts.notices().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(logHas(told), 10000);
    QCOMPARE(logEntries().last().color, quint32(0x0000FF));
    QVERIFY(f.statusTexts(3).last().contains(told));

    f.window->redoTick(slot);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), 10000);
    QCOMPARE(testing::readFile(f.target(u"b"_s)), body);
    QCOMPARE(f.window->slot(slot).retriesLeft, 4);
}

void TestActivasHttp::cutConnectionResumesOnRetry()
{
    EngineFixture f;
    HttpScriptServer server;
    const QByteArray body = testing::testBytes(200000);
    HttpScriptServer::Options cut;
    cut.cutAfterBytes = 70000;
    server.enqueueResource(u"/c"_s, body, cut);
    server.setResource(u"/c"_s, body);
    const QString url = server.url(u"/c"_s);
    const int slot = f.add(url, u"c"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(slot).redo->isRunning(), 10000);
    QVERIFY(f.statusTexts(3).contains(u"Se ha perdido la conexión con "_s + url + u" . Reconectando..."_s));
    QVERIFY(f.window->indicador(slot)->Reconectando());
    QVERIFY(!f.finished(slot));
    const qint64 got = f.window->entry(slot).position - 1;
    QVERIFY(got > 0 && got < 200000);

    f.window->redoTick(slot);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), 10000);
    QCOMPARE(testing::readFile(f.target(u"c"_s)), body);
    QCOMPARE(server.requests()[1].rangeStart(), got);
}

void TestActivasHttp::stallIsDetectedAndRetryStillFires()
{
    EngineFixture f;
    f.settings->setWaitv(10);
    HttpScriptServer server;
    const QByteArray body = testing::testBytes(50000);
    HttpScriptServer::Options stall;
    stall.stallAfterBytes = 10000;
    server.enqueueResource(u"/s"_s, body, stall);
    server.setResource(u"/s"_s, body);
    const int slot = f.add(server.url(u"/s"_s), u"s"_s);
    QTRY_COMPARE_WITH_TIMEOUT(f.window->entry(slot).position, qint64(10001), 10000);

    for (int k = 0; k < 10; ++k)
        f.window->tiempotransTick();
    QVERIFY(!f.window->slot(slot).redo->isRunning()); // 10 idle seconds are allowed
    f.window->tiempotransTick();
    QVERIFY(f.window->slot(slot).redo->isRunning());
    QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, 10000);

    // Further ticks while waiting must not push the retry back.
    QSignalSpy fired(f.window->slot(slot).redo, &platform::IntervalTimer::timeout);
    for (int k = 0; k < 3; ++k) {
        QTest::qWait(1000);
        f.window->tiempotransTick();
    }
    f.settings->setSegsv(5);
    QTRY_VERIFY_WITH_TIMEOUT(fired.count() >= 1, 8000);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), 10000);
    QCOMPARE(testing::readFile(f.target(u"s"_s)), body);
}

void TestActivasHttp::retryBudgetRunsOut()
{
    EngineFixture f;
    f.settings->setVecesv(2);
    HttpScriptServer server;
    HttpScriptServer::Options cut;
    cut.cutAfterBytes = 100;
    server.setResource(u"/never"_s, testing::testBytes(5000), cut);
    const QString url = server.url(u"/never"_s);
    const int slot = f.add(url, u"never"_s);
    for (int attempt = 0; attempt < 2; ++attempt) {
        QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(slot).redo->isRunning(), 10000);
        f.window->redoTick(slot);
        QVERIFY(!f.window->indicador(slot)->redoend());
    }
    QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(slot).redo->isRunning(), 10000);
    f.window->redoTick(slot);
    QVERIFY(f.window->indicador(slot)->redoend());
    QCOMPARE(server.connectionCount(), 3);
    QCOMPARE(f.prompts.notices(), QStringList{u"Se han agotado los intentos para "_s + url});
    QVERIFY(f.window->existe(slot));

    // A row whose retries ran out is left alone by the watchdog.
    for (int k = 0; k < 30; ++k)
        f.window->tiempotransTick();
    QVERIFY(!f.window->slot(slot).redo->isRunning());
}

void TestActivasHttp::exhaustedWithDelincRemovesSilently()
{
    EngineFixture f;
    f.settings->setVecesv(0);
    f.settings->setDelinc(true);
    f.settings->setMsgno(true);
    HttpScriptServer server;
    HttpScriptServer::Options cut;
    cut.cutAfterBytes = 100;
    server.setResource(u"/d"_s, testing::testBytes(5000), cut);
    const int slot = f.add(server.url(u"/d"_s), u"d"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(slot).redo->isRunning(), 10000);
    QVERIFY(QFile::exists(f.target(u"d"_s)));
    f.window->redoTick(slot);
    QVERIFY(!f.window->existe(slot));
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(f.target(u"d"_s)), 10000);
    QVERIFY(f.prompts.notices().isEmpty());
}

void TestActivasHttp::rangeNotSatisfiableWithCompleteFileFinishes()
{
    EngineFixture f;
    HttpScriptServer server;
    // Every byte arrives, but the closing chunk does not: lost, to be retried.
    server.enqueueReply(u"/full"_s, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n", "6\r\nabcdef\r\n");
    server.setReply(u"/full"_s, "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */6\r\n");
    const int slot = f.add(server.url(u"/full"_s), u"full"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(slot).redo->isRunning(), 10000);
    // The bytes are the download's own: a refusal from their end means they are all there.
    f.window->redoTick(slot);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), 10000);
    QCOMPARE(server.requests().last().rangeStart(), qint64(6));
    QCOMPARE(testing::readFile(f.target(u"full"_s)), QByteArray("abcdef"));
}

void TestActivasHttp::rangeRefusedFromTheStartIsNotALoop_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("finishes");
    // An empty file: nothing to fetch, and nothing missing.
    QTest::newRow("empty file") << QByteArray("HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */0\r\n")
                                << true;
    QTest::newRow("416 from byte 0") << QByteArray("HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */9\r\n")
                                     << false;
    QTest::newRow("206 elsewhere") << QByteArray("HTTP/1.1 206 Partial\r\nContent-Range: bytes 5-8/9\r\n"
                                                 "Content-Length: 4\r\n")
                                   << false;
}

void TestActivasHttp::rangeRefusedFromTheStartIsNotALoop()
{
    QFETCH(QByteArray, head);
    QFETCH(bool, finishes);
    EngineFixture f;
    HttpScriptServer server;
    server.setReply(u"/r"_s, head, head.contains("206") ? QByteArray("abcd") : QByteArray());
    const int slot = f.add(server.url(u"/r"_s), u"r"_s);
    if (finishes) {
        QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), 10000);
        QCOMPARE(QFileInfo(f.target(u"r"_s)).size(), 0);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(slot).redo->isRunning(), 10000);
        QTest::qWait(200);
        QCOMPARE(server.requestCount(u"/r"_s), 1);
        QVERIFY(!f.finished(slot));
    }
}

void TestActivasHttp::badAddressLeavesNoRow()
{
    EngineFixture f;
    f.window->addnew(u"gopher://host/x"_s, f.target(u"x"_s), 0, 0, false, 0, false, {}, {}, false);
    QCOMPARE(f.prompts.messages(), QStringList({u"Dirección incorrecta."_s, u"Dirección incorrecta."_s}));
    QCOMPARE(f.window->loadedRows(), 1);
    QVERIFY(!f.window->existe(1));
    QVERIFY(!QFile::exists(f.folder.file(u"activas.dwn"_s)));
}

void TestActivasHttp::unwritableTargetIsNeverFinished()
{
    EngineFixture f;
    HttpScriptServer server;
    server.setResource(u"/f"_s, testing::testBytes(1000));
    // A missing folder is made; one under a plain file cannot be.
    f.folder.write(u"plain"_s, "x");
    f.window->addnew(server.url(u"/f"_s), f.folder.path() + u"/plain/folder/f"_s, 0, 0, false, 0, true, {}, {}, false);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->indicador(1)->redoend(), 10000);
    QVERIFY(!f.finished(1));
    QVERIFY(f.statusTexts(3).last().startsWith(u"No se ha podido escribir en "_s));
    QVERIFY(!f.window->slot(1).redo->isRunning());
}

void TestActivasHttp::listFileRoundTrip()
{
    QByteArray saved;
    {
        EngineFixture f;
        f.settings->setMaxdesc(10);
        // Unreachable port: the downloads stay pending while the list is written.
        f.window->addnew(u"http://127.0.0.1:9/a,\"b\".zip"_s, f.target(u"a.zip"_s), 0, 0, false, 0, false, u"user"_s,
                         u"pw"_s, false);
        f.window->addnew(u"ftp://127.0.0.1:9/pub/c.tgz"_s, f.target(u"c.tgz"_s), 7000, 3001, true, 0, false,
                         u"anonymous"_s, u"guestpw"_s, true);
        f.window->waitForSaves();
        saved = f.folder.read(u"activas.dwn"_s);
        QList<ListRecord> expected(2);
        expected[0].url = u"http://127.0.0.1:9/a,\"b\".zip"_s;
        expected[0].file = f.target(u"a.zip"_s);
        expected[1].url = u"ftp://127.0.0.1:9/pub/c.tgz"_s;
        expected[1].file = f.target(u"c.tgz"_s);
        expected[1].size = 7000;
        expected[1].position = 3001;
        expected[1].resumable = true;
        expected[1].ftpuser = u"anonymous"_s;
        expected[1].ftppass = u"guestpw"_s;
        expected[1].remember = true;
        QCOMPARE(saved, encodeListFile(expected, ListKind::Active));
        QCOMPARE(QFile::permissions(f.folder.file(u"activas.dwn"_s)) & 0x0FFF, QFile::ReadUser | QFile::WriteUser);

        // Reloading creates the same slots and leaves the file as it was.
        auto second = std::make_unique<activas>();
        second->cargar_lista_activas();
        QVERIFY(second->existe(1) && second->existe(2));
        QCOMPARE(second->entry(1).url, expected[0].url);
        QCOMPARE(second->entry(1).ftpuser, QString());
        QCOMPARE(second->entry(2).ftppass, u"guestpw"_s);
        QCOMPARE(second->entry(2).position, 3001);
        QCOMPARE(f.folder.read(u"activas.dwn"_s), saved);

        // A record cut short is reported; the records before it stay.
        f.folder.write(u"activas.dwn"_s, saved + "http://127.0.0.1:9/z\r\n/tmp/z\r\n 0 \r\n");
        auto third = std::make_unique<activas>();
        f.prompts.asked.clear();
        third->cargar_lista_activas();
        QCOMPARE(third->loadedRows(), 3);
        QCOMPARE(f.prompts.messages().size(), 1);
        QVERIFY(f.prompts.messages()[0].startsWith(u"Error al cargar lista de activas: "_s));
    }
}

void TestActivasHttp::admissionRuleSendsToQueue()
{
    EngineFixture f;
    RecordingQueue queue;
    f.window->setQueue(&queue);
    f.settings->setMaxdesc(3);
    QMimeData drop;
    for (const char *name : {"one", "two", "three"}) {
        drop.setText(u"http://127.0.0.1:9/"_s + QString::fromLatin1(name));
        f.prompts.texts.enqueue(f.target(QString::fromLatin1(name)));
        f.window->AgregarArrastrando(&drop);
    }
    // Two rows plus the template reach a maximum of 3.
    QCOMPARE(f.window->loadedRows(), 3);
    QCOMPARE(queue.added, QStringList{u"http://127.0.0.1:9/three"_s});

    // A cancelled save dialog adds nothing.
    drop.setText(u"http://127.0.0.1:9/four"_s);
    f.window->AgregarArrastrando(&drop);
    QCOMPARE(queue.added.size(), 1);

    queue.rows = activas::kSlots;
    f.prompts.texts.enqueue(f.target(u"five"_s));
    drop.setText(u"http://127.0.0.1:9/five"_s);
    f.window->AgregarArrastrando(&drop);
    QCOMPARE(f.prompts.messages().last(), u"Se ha alcanzado el máximo de descargas en cola."_s);

    // Text that is not an address is refused before any save dialog, and a
    // drag of it is not even accepted.
    queue.rows = 0;
    for (const QString &text : {u"hola mundo"_s, u"HTTP://127.0.0.1:9/six"_s, u"file:///etc/passwd"_s}) {
        f.prompts.asked.clear();
        drop.setText(text);
        QVERIFY(!activas::acceptsDrop(&drop));
        f.window->AgregarArrastrando(&drop);
        QCOMPARE(f.prompts.asked.size(), 1);
        QVERIFY(f.prompts.messages().last().startsWith(u"Escriba una dirección correcta"_s));
    }
    QCOMPARE(queue.added.size(), 1);
    QCOMPARE(f.window->loadedRows(), 3);
    drop.setText(u"  https://127.0.0.1:9/seven\n"_s);
    QVERIFY(activas::acceptsDrop(&drop));
}

void TestActivasHttp::speedTickFillsStatusBar()
{
    EngineFixture f;
    RecordingQueue queue;
    queue.rows = 3;
    f.window->setQueue(&queue);
    QSignalSpy samples(f.window.get(), &activas::speedSample);
    f.window->updateTick();
    QCOMPARE(f.statusTexts(2).last(), u"Vel. Total: 0Kb/seg||Vel. Media: 0 Kb/seg"_s);
    QCOMPARE(f.statusTexts(1).last(), u"0/2"_s);
    QCOMPARE(samples.last().at(0).toInt(), 0);
    QCOMPARE(samples.last().at(1).toString(), u"0 Kb/seg"_s);

    // Two transfers at 10.4 and 20.6 KB/s since they connected, and a finished row.
    f.add(u"http://127.0.0.1:9/a"_s, u"a"_s);
    f.add(u"http://127.0.0.1:9/b"_s, u"b"_s);
    f.add(u"http://127.0.0.1:9/c"_s, u"c"_s);
    const double rates[] = {10.4, 20.6};
    for (int i = 1; i <= 2; ++i) {
        DownloadEntry &e = f.window->entry(i);
        e.elapsedAtConnect = 0;
        e.elapsed = 10;
        e.positionAtConnect = 1;
        e.position = 1 + qint64(rates[i - 1] * 1024 * 10);
        f.window->table().setStateForTest(i, DownloadState::Transferring);
    }
    f.window->table().setStateForTest(3, DownloadState::Finished);
    f.window->updateTick();
    QCOMPARE(f.window->entry(1).speed, 10);
    QCOMPARE(f.window->entry(2).speed, 21);
    QCOMPARE(f.statusTexts(2).last(),
             u"Vel. Total: 31Kb/seg||Vel. Media: 10"_s + QLocale::system().decimalPoint() + u"33 Kb/seg"_s);
    QCOMPARE(f.statusTexts(1).last(), u"3/5"_s);
    QCOMPARE(f.window->countsText(), u"3/5"_s);
}

void TestActivasHttp::existeBounds()
{
    EngineFixture f;
    QVERIFY(!f.window->existe(40));
    QVERIFY(!f.window->existe(41));
    QVERIFY(!f.window->existe(32767));
    f.add(u"http://127.0.0.1:9/a"_s, u"a"_s);
    QVERIFY(f.window->existe(1));
}

void TestActivasHttp::finishStepsFollowTheSettings()
{
    EngineFixture f;
    RecordingQueue queue;
    queue.rows = 2;
    f.window->setQueue(&queue);
    f.settings->setShowmsg(true);
    f.settings->setExevirus(true);
    f.settings->setVirus(u"/opt/scan dir/scan"_s);
    f.settings->setExt({u".zip"_s, u".bin"_s, u".BIN"_s});
    f.settings->setDellista(true);
    f.settings->setAutocont(true);
    QVERIFY(QDir(f.folder.path()).mkpath(u"msg"_s));
    f.folder.write(u"msg/notify.wav"_s, "RIFF");
    HttpScriptServer server;
    server.setResource(u"/v.bin"_s, testing::testBytes(3000));
    const QString url = server.url(u"/v.bin"_s);
    QSignalSpy finished(f.window.get(), &activas::finishedFile);

    const int slot = f.add(url, u"with blank.bin"_s);
    QTRY_VERIFY_WITH_TIMEOUT(!f.window->existe(slot), 10000); // removed once finished
    QCOMPARE(testing::readFile(f.target(u"with blank.bin"_s)), testing::testBytes(3000));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toString(), f.target(u"with blank.bin"_s));
    QCOMPARE(f.prompts.notices(), QStringList{u"Se ha terminado la descarga de "_s + url});
    QVERIFY(f.prompts.asked.last().extra.endsWith(u"download.gif"_s));
    QCOMPARE(f.sound.played.size(), 2);
    // The antivirus gets the path as one argument, blanks and all.
    const QList<QStringList> expected{{u"/opt/scan dir/scan"_s, f.target(u"with blank.bin"_s)}};
    QCOMPARE(f.shell.started, expected);
    QCOMPARE(queue.promotions, 1);
}

void TestActivasHttp::fullTableReportsTheError()
{
    EngineFixture f;
    for (int k = 1; k <= 40; ++k)
        f.add(u"http://127.0.0.1:9/f%1"_s.arg(k), u"f%1"_s.arg(k));
    QVERIFY(f.window->existe(40));
    QVERIFY(f.prompts.messages().isEmpty());
    f.add(u"http://127.0.0.1:9/extra"_s, u"extra"_s);
    QCOMPARE(f.prompts.messages().size(), 1);
    QVERIFY(f.prompts.messages()[0].startsWith(u"No se ha podido agregar el archivo:\r\n"_s));
    QCOMPARE(f.prompts.asked[0].icon, platform::Icon::Critical);
    QCOMPARE(f.window->loadedRows(), 41);
}

QTEST_MAIN(TestActivasHttp)
#include "tst_activas_http.moc"
