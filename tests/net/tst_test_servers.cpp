#include "cutting_proxy.h"
#include "file_digest.h"
#include "http_script_server.h"
#include "nginx_fixture.h"

#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace Qt::StringLiterals;
using testing::HttpScriptServer;

namespace {

// What a raw client saw: every read as it came, and whether the server closed.
struct Exchange {
    QList<QByteArray> reads;
    bool closed = false;
    QByteArray all() const { return reads.join(); }
    QByteArray head() const { return all().left(all().indexOf("\r\n\r\n") + 4); }
    QByteArray body() const { return all().mid(all().indexOf("\r\n\r\n") + 4); }
};

// Sends a request and collects the answer until the server closes or waitMs
// passes, running the event loop so the in-process servers can work.
Exchange exchange(quint16 port, const QByteArray &request, int waitMs = 5000)
{
    Exchange result;
    QTcpSocket socket;
    QEventLoop loop;
    QObject::connect(&socket, &QTcpSocket::connected, &loop, [&] { socket.write(request); });
    QObject::connect(&socket, &QTcpSocket::readyRead, &loop, [&] { result.reads.append(socket.readAll()); });
    QObject::connect(&socket, &QTcpSocket::disconnected, &loop, [&] {
        result.closed = true;
        loop.quit();
    });
    QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
    socket.connectToHost(QHostAddress::LocalHost, port);
    loop.exec();
    if (socket.bytesAvailable() > 0)
        result.reads.append(socket.readAll());
    return result;
}

QByteArray get(const QByteArray &path, const QByteArray &extra = {})
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + extra + "\r\n";
}

QByteArray pattern(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char('a' + (i * 7) % 26);
    return b;
}

} // namespace

class tst_TestServers : public QObject {
    Q_OBJECT
private slots:
    void resourceReplies_data();
    void resourceReplies();
    void chunkedFraming();
    void headerArrivesInPieces();
    void cutAndStall_data();
    void cutAndStall();
    void queuedRepliesThenStanding();
    void proxyCutsOnlyFirstConnections();
    void nginxServesRanges();
};

void tst_TestServers::resourceReplies_data()
{
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<bool>("honour");
    QTest::addColumn<qint64>("wrongOffset");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<QByteArray>("contentRange");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("length");

    QTest::newRow("no range") << QByteArray() << true << qint64(-1) << QByteArray("HTTP/1.1 200 OK") << QByteArray()
                              << 0 << 100;
    QTest::newRow("open range") << QByteArray("bytes=40-") << true << qint64(-1)
                                << QByteArray("HTTP/1.1 206 Partial Content") << QByteArray("bytes 40-99/100") << 40
                                << 60;
    QTest::newRow("closed range") << QByteArray("bytes=0-9") << true << qint64(-1)
                                  << QByteArray("HTTP/1.1 206 Partial Content") << QByteArray("bytes 0-9/100") << 0
                                  << 10;
    QTest::newRow("range ignored") << QByteArray("bytes=40-") << false << qint64(-1) << QByteArray("HTTP/1.1 200 OK")
                                   << QByteArray() << 0 << 100;
    QTest::newRow("past the end") << QByteArray("bytes=100-") << true << qint64(-1)
                                  << QByteArray("HTTP/1.1 416 Range Not Satisfiable") << QByteArray("bytes */100") << 0
                                  << 0;
    QTest::newRow("wrong offset") << QByteArray("bytes=40-") << true << qint64(30)
                                  << QByteArray("HTTP/1.1 206 Partial Content") << QByteArray("bytes 30-99/100") << 30
                                  << 70;
}

void tst_TestServers::resourceReplies()
{
    QFETCH(QByteArray, range);
    QFETCH(bool, honour);
    QFETCH(qint64, wrongOffset);
    QFETCH(QByteArray, statusLine);
    QFETCH(QByteArray, contentRange);
    QFETCH(int, from);
    QFETCH(int, length);

    HttpScriptServer server;
    QVERIFY(server.isListening());
    const QByteArray body = pattern(100);
    HttpScriptServer::Options o;
    o.honourRanges = honour;
    o.wrongRangeOffset = wrongOffset;
    server.setResource(u"dir/file.bin"_s, body, o);

    const Exchange e =
        exchange(server.port(), get("/dir/file.bin", range.isEmpty() ? QByteArray() : "Range: " + range + "\r\n"));
    QVERIFY(e.closed);
    QVERIFY2(e.head().startsWith(QByteArray(statusLine + "\r\n")), e.head().constData());
    QCOMPARE(e.head().contains(QByteArray("Content-Range: " + contentRange + "\r\n")), !contentRange.isEmpty());
    QVERIFY(e.head().contains(QByteArray("Content-Length: " + QByteArray::number(length) + "\r\n")));
    QCOMPARE(e.body(), body.mid(from, length));

    QCOMPARE(server.requestCount(u"/dir/file.bin"_s), 1);
    const HttpScriptServer::Request r = server.requests().constFirst();
    QCOMPARE(r.method, QByteArray("GET"));
    QCOMPARE(r.header("range"), range);
    QCOMPARE(r.rangeStart(), range.isEmpty() ? -1 : range.mid(6, range.indexOf('-') - 6).toLongLong());
    QCOMPARE(server.receivedBytes().value(0), r.raw);
}

void tst_TestServers::chunkedFraming()
{
    HttpScriptServer server;
    HttpScriptServer::Options o;
    o.chunked = true;
    o.chunkSize = 30;
    const QByteArray body = pattern(70);
    server.setResource(u"c"_s, body, o);
    const Exchange e = exchange(server.port(), get("/c"));
    QVERIFY(e.closed);
    QVERIFY(e.head().contains("Transfer-Encoding: chunked\r\n"));
    QVERIFY(!e.head().contains("Content-Length"));
    const QByteArray expected =
        "1e\r\n" + body.mid(0, 30) + "\r\n1e\r\n" + body.mid(30, 30) + "\r\na\r\n" + body.mid(60) + "\r\n0\r\n\r\n";
    QCOMPARE(e.body(), expected);
}

void tst_TestServers::headerArrivesInPieces()
{
    HttpScriptServer server;
    HttpScriptServer::Options o;
    o.headerSplits = {5, 10};
    o.pieceDelayMs = 60;
    server.setReply(u"moved"_s, "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1/x\r\nContent-Length: 0\r\n", {}, o);
    const Exchange e = exchange(server.port(), get("/moved"));
    QVERIFY(e.closed);
    QVERIFY2(e.reads.size() >= 3, QByteArray::number(e.reads.size()).constData());
    QCOMPARE(e.reads.at(0), QByteArray("HTTP/"));
    QCOMPARE(e.reads.at(1), QByteArray("1.1 302 Fo"));
    QCOMPARE(e.all(), QByteArray("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1/x\r\nContent-Length: 0\r\n\r\n"));
}

void tst_TestServers::cutAndStall_data()
{
    QTest::addColumn<qint64>("cut");
    QTest::addColumn<qint64>("stall");
    QTest::addColumn<int>("bodyBytes");
    QTest::addColumn<bool>("closed");

    QTest::newRow("cut") << qint64(300) << qint64(-1) << 300 << true;
    QTest::newRow("stall") << qint64(-1) << qint64(10) << 10 << false;
    QTest::newRow("stall after all") << qint64(-1) << qint64(1000) << 1000 << false;
    QTest::newRow("cut before stall") << qint64(5) << qint64(10) << 5 << true;
}

void tst_TestServers::cutAndStall()
{
    QFETCH(qint64, cut);
    QFETCH(qint64, stall);
    QFETCH(int, bodyBytes);
    QFETCH(bool, closed);

    HttpScriptServer server;
    HttpScriptServer::Options o;
    o.cutAfterBytes = cut;
    o.stallAfterBytes = stall;
    o.bodyPieceSize = 100;
    o.pieceDelayMs = 1;
    const QByteArray body = pattern(1000);
    server.setResource(u"f"_s, body, o);
    const Exchange e = exchange(server.port(), get("/f"), closed ? 5000 : 400);
    QCOMPARE(e.closed, closed);
    // The full length is announced even when the body is cut short.
    QVERIFY(e.head().contains("Content-Length: 1000\r\n"));
    QCOMPARE(e.body(), body.left(bodyBytes));
    if (!closed)
        QCOMPARE(server.openConnections(), 1);
}

void tst_TestServers::queuedRepliesThenStanding()
{
    HttpScriptServer server;
    server.enqueueReply(u"/a"_s, "HTTP/1.1 503 Service Unavailable\nContent-Length: 4\n", "busy");
    server.setResource(u"/a"_s, "payload");

    const Exchange first = exchange(server.port(), get("/a"));
    QCOMPARE(first.all(), QByteArray("HTTP/1.1 503 Service Unavailable\nContent-Length: 4\n\nbusy"));
    const Exchange second = exchange(server.port(), get("/a?x=1"));
    QVERIFY(second.head().startsWith("HTTP/1.1 200 OK\r\n"));
    QCOMPARE(second.body(), QByteArray("payload"));
    const Exchange missing = exchange(server.port(), get("/nothing"));
    QVERIFY(missing.head().startsWith("HTTP/1.1 404 "));

    QCOMPARE(server.requestCount(u"a"_s), 1);
    QCOMPARE(server.requests().size(), 3);
    QCOMPARE(server.connectionCount(), 3);
    QCOMPARE(server.requests().at(1).target, QByteArray("/a?x=1"));
}

void tst_TestServers::proxyCutsOnlyFirstConnections()
{
    HttpScriptServer server;
    const QByteArray body = pattern(20000);
    server.setResource(u"big"_s, body);
    testing::CuttingProxy proxy(u"127.0.0.1"_s, server.port());
    QVERIFY(proxy.isListening());
    proxy.setCut(2000, 1);

    const Exchange cut = exchange(proxy.port(), get("/big"));
    QVERIFY(cut.closed);
    QCOMPARE(cut.all().size(), 2000);
    const Exchange whole = exchange(proxy.port(), get("/big"));
    QVERIFY(whole.closed);
    QCOMPARE(whole.body(), body);

    QCOMPARE(proxy.connectionCount(), 2);
    QCOMPARE(proxy.cutCount(), 1);
    QCOMPARE(proxy.bytesToClients().value(0), 2000);
    // The request went through unchanged.
    QTRY_COMPARE(server.requestCount(u"big"_s), 2);
    QCOMPARE(server.requests().constFirst().raw, get("/big"));
}

void tst_TestServers::nginxServesRanges()
{
    QTemporaryDir root;
    const qint64 size = 1 << 20;
    QVERIFY(testing::writeRandomFile(root.filePath(u"data.bin"_s), size, 7));
    QFile f(root.filePath(u"data.bin"_s));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray source = f.readAll();

    testing::NginxFixture nginx;
    if (!nginx.start(root.path())) {
        if (!QFile::exists(QString::fromLatin1(testing::NginxFixture::kBinary)))
            QSKIP(qPrintable(nginx.errorText()));
        QFAIL(qPrintable(nginx.errorText()));
    }
    QVERIFY(nginx.url(u"data.bin"_s).endsWith(u':' + QString::number(nginx.port()) + u"/data.bin"_s));

    const Exchange e = exchange(nginx.port(), get("/data.bin", "Range: bytes=1000-\r\n"), 10000);
    QVERIFY(e.closed);
    QVERIFY2(e.head().startsWith("HTTP/1.1 206 Partial Content\r\n"), e.head().constData());
    QVERIFY(e.head().contains("Content-Range: bytes 1000-1048575/1048576\r\n"));
    QVERIFY(e.body() == source.mid(1000));

    const quint16 port = nginx.port();
    nginx.stop();
    QVERIFY(!nginx.isRunning());
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!probe.waitForConnected(2000));
}

QTEST_GUILESS_MAIN(tst_TestServers)
#include "tst_test_servers.moc"
