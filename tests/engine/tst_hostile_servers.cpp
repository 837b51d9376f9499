// Servers that lie about where they resume or how large the file is, TLS
// streams that end without the server's close_notify, and targets that are
// links: none of them may leave a wrong file called finished, nor write
// outside the download folder.
#include "engine_fixture.h"

#include "core/interval_timer.h"
#include "core/tls_config.h"
#include "file_digest.h"
#include "ftp_script_server.h"
#include "http_script_server.h"
#include "log/log_append.h"
#include "rows/download.h"
#include "test_authority.h"
#include "tls_script_server.h"

#include <QFile>
#include <QtTest>

using namespace Qt::StringLiterals;
using testing::TlsScriptServer;

namespace {
constexpr int kWaitMs = 10000;
} // namespace

class TestHostileServers : public QObject {
    Q_OBJECT
private slots:
    void init() { clearLogEntries(); }
    void initTestCase();

    void ftpResumeIsProvenEveryTime_data();
    void ftpResumeIsProvenEveryTime();
    void ftpMoreBytesThanSizeStops();
    void tlsBodyEndsOnlyAtCloseNotify_data();
    void tlsBodyEndsOnlyAtCloseNotify();
    void tlsRedirectArrivingWithItsCloseSpendsNoRetry();
    void redirectToFtpIsFetchedOverFtp_data();
    void redirectToFtpIsFetchedOverFtp();
    void linkTargetIsNeverWrittenThrough_data();
    void linkTargetIsNeverWrittenThrough();

private:
    testing::TestAuthority authority_;
};

void TestHostileServers::initTestCase()
{
    QVERIFY2(authority_.create(), qPrintable(authority_.errorText()));
    QVERIFY2(authority_.issue(u"local"_s, {u"DNS:localhost"_s, u"IP:127.0.0.1"_s}), qPrintable(authority_.errorText()));
    setExtraTrustedCertificates({authority_.certificate()});
}

void TestHostileServers::ftpResumeIsProvenEveryTime_data()
{
    QTest::addColumn<bool>("sizeKnown");
    QTest::addColumn<bool>("ignoresRest");
    QTest::newRow("REST ignored, SIZE known") << true << true;
    QTest::newRow("REST ignored, no SIZE") << false << true;
    QTest::newRow("REST honoured") << true << false;
}

// The first data connection is cut halfway; the resume asks for the tail again.
void TestHostileServers::ftpResumeIsProvenEveryTime()
{
    QFETCH(bool, sizeKnown);
    QFETCH(bool, ignoresRest);
    const QByteArray whole = testing::testBytes(200000, 7);
    testing::FtpScriptServer server;
    server.setFile(u"x.bin"_s, whole);
    server.setIgnoreRest(ignoresRest);
    if (!sizeKnown)
        server.setReply(u"SIZE x.bin"_s, "550 Could not get file size.\r\n");
    server.setCutDataAfter(100000);

    EngineFixture f;
    f.window->addnew(u"ftp://127.0.0.1:%1/x.bin"_s.arg(server.port()), f.target(u"x"_s), 0, 0, false, 0, true,
                     u"anonymous"_s, u"guestpw"_s, false);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(1).redo->isRunning(), kWaitMs);
    const qint64 kept = QFileInfo(f.target(u"x"_s)).size();
    QVERIFY(kept > 4096 && kept <= 100000);
    QVERIFY(driveToEnd(f, 1, 2, kWaitMs));
    QCOMPARE(testing::readFile(f.target(u"x"_s)), whole);
    QVERIFY(server.commands().contains(u"REST %1"_s.arg(kept - 4096)));
    QCOMPARE(logHas(u"no coinciden"_s), ignoresRest);
}

// SIZE told 100000 (as a server counting modulo 4 GiB would), RETR sends more.
void TestHostileServers::ftpMoreBytesThanSizeStops()
{
    const QByteArray whole = testing::testBytes(204800, 3);
    testing::FtpScriptServer server;
    server.setFile(u"x.bin"_s, whole);
    server.setReply(u"SIZE x.bin"_s, "213 100000\r\n");
    EngineFixture f;
    f.window->addnew(u"ftp://127.0.0.1:%1/x.bin"_s.arg(server.port()), f.target(u"x"_s), 0, 0, false, 0, true,
                     u"anonymous"_s, u"guestpw"_s, false);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->indicador(1)->redoend(), kWaitMs);
    QVERIFY(!f.finished(1));
    QVERIFY(f.window->slot(1).sizeChanged());
    QCOMPARE(f.prompts.notices().size(), 1);
    QVERIFY(f.prompts.notices()[0].contains(u"(100000 → desconocido bytes)"_s));
    // What arrived stays; nothing is cut to the wrong size and called whole.
    QVERIFY(whole.startsWith(testing::readFile(f.target(u"x"_s))));
    QVERIFY(!f.window->slot(1).redo->isRunning());
}

void TestHostileServers::tlsBodyEndsOnlyAtCloseNotify_data()
{
    QTest::addColumn<int>("ending");
    QTest::addColumn<qint64>("sent");
    QTest::addColumn<bool>("finishes");
    using E = TlsScriptServer::Ending;
    QTest::newRow("close_notify, then the close") << int(E::CloseNotifyThenClose) << qint64(-1) << true;
    QTest::newRow("close_notify, close awaits ours") << int(E::CloseNotifyAwaitPeer) << qint64(-1) << true;
    QTest::newRow("half the body, a bare TCP close") << int(E::CloseWithoutNotify) << qint64(150000) << false;
    QTest::newRow("the whole body, a bare TCP close") << int(E::CloseWithoutNotify) << qint64(-1) << false;
}

// A 200 without a length: only the TLS end tells a whole body from a cut one.
void TestHostileServers::tlsBodyEndsOnlyAtCloseNotify()
{
    QFETCH(int, ending);
    QFETCH(qint64, sent);
    QFETCH(bool, finishes);
    const QByteArray body = testing::testBytes(300000, 5);
    TlsScriptServer server(authority_.certificateFile(u"local"_s), authority_.keyFile(u"local"_s));
    server.addReply({"HTTP/1.1 200 OK\r\nConnection: close\r\n", body, sent, TlsScriptServer::Ending(ending)});
    server.addReply(
        {"HTTP/1.1 200 OK\r\nConnection: close\r\n", body, -1, TlsScriptServer::Ending::CloseNotifyThenClose});
    QVERIFY(server.listen());

    EngineFixture f;
    const int slot = f.add(u"https://127.0.0.1:%1/f.bin"_s.arg(server.port()), u"f"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot) || f.window->slot(slot).redo->isRunning(), kWaitMs);
    QCOMPARE(f.finished(slot), finishes);
    QCOMPARE(server.connections(), 1);
    if (!finishes) {
        // A cut is a lost connection: the retry fetches the file whole.
        f.window->redoTick(slot);
        QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), kWaitMs);
        QCOMPARE(server.connections(), 2);
    }
    QCOMPARE(testing::readFile(f.target(u"f"_s)), body);
}

// The 302 and the server's close come in one go: the close belongs to the
// connection that was redirected, not to the new one being opened.
void TestHostileServers::tlsRedirectArrivingWithItsCloseSpendsNoRetry()
{
    const QByteArray body = testing::testBytes(50000, 9);
    TlsScriptServer server(authority_.certificateFile(u"local"_s), authority_.keyFile(u"local"_s));
    QVERIFY(server.listen());
    const QByteArray moved = "HTTP/1.1 302 Found\r\nLocation: https://127.0.0.1:" + QByteArray::number(server.port())
                             + "/b.bin\r\nContent-Length: 0\r\nConnection: close\r\n";
    for (int k = 0; k < 5; ++k) {
        server.addReply({moved, {}, -1, TlsScriptServer::Ending::CloseWithoutNotify});
        server.addReply(
            {"HTTP/1.1 200 OK\r\nContent-Length: 50000\r\n", body, -1, TlsScriptServer::Ending::CloseNotifyThenClose});
    }
    EngineFixture f;
    for (int k = 0; k < 5; ++k) {
        const int slot = f.add(u"https://127.0.0.1:%1/a.bin"_s.arg(server.port()), u"f"_s + QString::number(k));
        QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot) || f.window->slot(slot).redo->isRunning(), kWaitMs);
        QVERIFY2(f.finished(slot), qPrintable(f.statusTexts(3).join(u" | "_s)));
        QCOMPARE(testing::readFile(f.target(u"f"_s + QString::number(k))), body);
    }
    QCOMPARE(server.connections(), 10);
}

void TestHostileServers::redirectToFtpIsFetchedOverFtp_data()
{
    QTest::addColumn<bool>("secure");
    QTest::addColumn<int>("httpHops"); // redirects before the one to ftp
    QTest::addColumn<bool>("finishes");
    QTest::newRow("http to ftp") << false << 0 << true;
    QTest::newRow("https to ftp: followed and told") << true << 0 << true;
    QTest::newRow("the ftp hop is the budget's last") << false << 9 << true;
    QTest::newRow("one hop past the budget") << false << 10 << false;
}

// The FTP client takes over in the same slot and file, logged in as the add
// dialog would; the entry keeps the address it was given.
void TestHostileServers::redirectToFtpIsFetchedOverFtp()
{
    QFETCH(bool, secure);
    QFETCH(int, httpHops);
    QFETCH(bool, finishes);
    const QByteArray whole = testing::testBytes(120000, 4);
    testing::FtpScriptServer ftp;
    ftp.setFile(u"x.bin"_s, whole);
    const QByteArray ftpUrl = "ftp://127.0.0.1:" + QByteArray::number(ftp.port()) + "/pub/x.bin";
    testing::HttpScriptServer http;
    TlsScriptServer tls(authority_.certificateFile(u"local"_s), authority_.keyFile(u"local"_s));
    QString url;
    if (secure) {
        tls.addReply({"HTTP/1.1 302 Found\r\nLocation: " + ftpUrl + "\r\nContent-Length: 0\r\n", {}});
        QVERIFY(tls.listen());
        url = u"https://127.0.0.1:%1/a.bin"_s.arg(tls.port());
    } else {
        for (int k = 0; k <= httpHops; ++k) {
            const QByteArray next = k == httpHops ? ftpUrl : "/r" + QByteArray::number(k + 1);
            http.setReply(u"/r"_s + QString::number(k), "HTTP/1.1 301 Moved\r\nLocation: " + next + "\r\n");
        }
        url = http.url(u"/r0"_s);
    }

    EngineFixture f;
    const int slot = f.add(url, u"x"_s);
    if (!finishes) {
        QTRY_VERIFY_WITH_TIMEOUT(f.window->indicador(slot)->redoend(), kWaitMs);
        QVERIFY(f.prompts.notices().value(0).startsWith(u"Demasiadas redirecciones"_s));
        QVERIFY(ftp.commands().isEmpty());
        return;
    }
    QTRY_VERIFY2_WITH_TIMEOUT(f.finished(slot), qPrintable(f.statusTexts(3).join(u" | "_s)), kWaitMs);
    QCOMPARE(testing::readFile(f.target(u"x"_s)), whole);
    QCOMPARE(f.window->entry(slot).url, url);
    QCOMPARE(ftp.commands().mid(0, 2), QStringList({u"USER anonymous"_s, u"PASS guestpw"_s}));
    QVERIFY(ftp.commands().contains(u"CWD /pub"_s) && ftp.commands().contains(u"RETR x.bin"_s));
    QVERIFY(f.prompts.notices().isEmpty());
    const QString told =
        u"La descarga de "_s + url + u" sigue en una dirección sin cifrar: "_s + QString::fromLatin1(ftpUrl);
    QCOMPARE(logHas(told), secure);
}

void TestHostileServers::linkTargetIsNeverWrittenThrough_data()
{
    QTest::addColumn<bool>("dangling");
    QTest::newRow("a link to another file") << false;
    QTest::newRow("a dangling link") << true;
}

void TestHostileServers::linkTargetIsNeverWrittenThrough()
{
    QFETCH(bool, dangling);
    testing::FtpScriptServer server;
    server.setFile(u"x.bin"_s, testing::testBytes(5000));
    EngineFixture f;
    const QString elsewhere = f.target(u"secret.txt"_s);
    if (!dangling)
        QVERIFY(testing::writeFile(elsewhere, "secret"));
    QVERIFY(QFile::link(elsewhere, f.target(u"x.bin"_s)));

    f.window->addnew(u"ftp://127.0.0.1:%1/x.bin"_s.arg(server.port()), f.target(u"x.bin"_s), 0, 0, false, 0, true,
                     u"anonymous"_s, u"guestpw"_s, false);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->indicador(1)->redoend(), kWaitMs);
    // The control connection opening afterwards does not make the row look alive again.
    QTest::qWait(300);
    QCOMPARE(f.window->slot(1).state, DownloadState::Stopped);
    QVERIFY(!f.window->indicador(1)->Reconectando() && f.window->indicador(1)->redoend());
    const QString told = u"El destino "_s + f.target(u"x.bin"_s) + u" es un enlace; no se escribe a través de él."_s;
    QCOMPARE(f.statusTexts(3).last(), told);
    QVERIFY(logHas(told));
    QCOMPARE(QFile::exists(elsewhere), !dangling);
    if (!dangling)
        QCOMPARE(testing::readFile(elsewhere), QByteArray("secret"));
    QVERIFY(!f.finished(1));
}

QTEST_MAIN(TestHostileServers)
#include "tst_hostile_servers.moc"
