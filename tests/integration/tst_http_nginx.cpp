// The engine against a real nginx on loopback: whole files arrive with the
// source's digest, through cut connections and across a restart, over http
// and over https with certificates from an authority of the test's own.
#include "engine_fixture.h"

#include "core/http_transfer.h"

#include "core/interval_timer.h"
#include "cutting_proxy.h"
#include "file_digest.h"
#include "log/log_append.h"
#include "nginx_fixture.h"
#include "rows/download.h"
#include "test_authority.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestHttpNginx : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void downloadsWholeFiles();
    void survivesCutConnections();
    void resumesAfterRestartFromList();
    void httpsLargeFileArrivesWhole();
    void httpsSurvivesCutConnections();
    void httpsHandshakeCutIsRetried();
    void httpsRefusesBadCertificates_data();
    void httpsRefusesBadCertificates();
    void httpsChangedFileStartsOver();
    void redirectsBetweenHttpAndHttps();

private:
    // An https server for the named certificate; empty url on failure.
    bool startTls(testing::NginxFixture &server, const QString &certificate);
    // Runs the retries at once instead of waiting for the retry delay.

    QTemporaryDir served_;
    testing::NginxFixture nginx_;
    QByteArray digest_[2];
    testing::TestAuthority authority_;
    testing::NginxFixture tls_;
    QByteArray bigDigest_;
    QByteArray twentyDigest_;
};

namespace {
// The size of the images and installers people fetch over https.
constexpr qint64 kBig = 1024LL * 1024 * 1024;
constexpr qint64 kTwenty = 20LL * 1024 * 1024;
} // namespace

void TestHttpNginx::initTestCase()
{
    QVERIFY(served_.isValid());
    QVERIFY(QDir(served_.path()).mkpath(u"sub"_s));
    QVERIFY(testing::writeRandomFile(served_.filePath(u"three.bin"_s), 3 * 1024 * 1024 + 17, 1));
    QVERIFY(testing::writeRandomFile(served_.filePath(u"sub/five.bin"_s), 5 * 1024 * 1024, 2));
    digest_[0] = testing::sha256OfFile(served_.filePath(u"three.bin"_s));
    digest_[1] = testing::sha256OfFile(served_.filePath(u"sub/five.bin"_s));
    if (!QFile::exists(QString::fromLatin1(testing::NginxFixture::kBinary)))
        QSKIP("nginx is not installed");
    QVERIFY2(nginx_.start(served_.path()), qPrintable(nginx_.errorText()));

    QVERIFY(testing::writeRandomFile(served_.filePath(u"big.bin"_s), kBig, 3));
    QVERIFY(testing::writeRandomFile(served_.filePath(u"twenty.bin"_s), kTwenty, 4));
    bigDigest_ = testing::sha256OfFile(served_.filePath(u"big.bin"_s));
    twentyDigest_ = testing::sha256OfFile(served_.filePath(u"twenty.bin"_s));
    QVERIFY2(authority_.create(), qPrintable(authority_.errorText()));
    QVERIFY2(authority_.issue(u"good"_s, {u"DNS:localhost"_s, u"IP:127.0.0.1"_s}), qPrintable(authority_.errorText()));
    QVERIFY2(authority_.issue(u"wronghost"_s, {u"DNS:otro.example"_s}), qPrintable(authority_.errorText()));
    QVERIFY2(authority_.issue(u"expired"_s, {u"DNS:localhost"_s}, u"20200101000000Z"_s, u"20200102000000Z"_s),
             qPrintable(authority_.errorText()));
    setExtraTrustedCertificates({authority_.certificate()});
    QVERIFY(startTls(tls_, u"good"_s));
}

bool TestHttpNginx::startTls(testing::NginxFixture &server, const QString &certificate)
{
    server.setTls(authority_.certificateFile(certificate), authority_.keyFile(certificate));
    const bool up = server.start(served_.path());
    if (!up)
        qWarning("%s", qPrintable(server.errorText()));
    return up;
}

void TestHttpNginx::downloadsWholeFiles()
{
    EngineFixture f;
    const int a = f.add(nginx_.url(u"three.bin"_s), u"three.bin"_s);
    const int b = f.add(nginx_.url(u"sub/five.bin"_s), u"five.bin"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(a) && f.finished(b), 30000);
    QCOMPARE(testing::sha256OfFile(f.target(u"three.bin"_s)), digest_[0]);
    QCOMPARE(testing::sha256OfFile(f.target(u"five.bin"_s)), digest_[1]);
    QVERIFY(f.window->entry(a).resumable);
    QCOMPARE(f.window->entry(b).size, 5 * 1024 * 1024);
}

void TestHttpNginx::survivesCutConnections()
{
    EngineFixture f;
    f.oneConnection(); // each cut counted on the one connection
    f.settings->setVecesv(50);
    testing::CuttingProxy proxy(u"127.0.0.1"_s, nginx_.port());
    proxy.setCut(700 * 1024);
    const int slot = f.add(proxy.url(u"sub/five.bin"_s), u"five.bin"_s);
    QVERIFY(driveToEnd(f, slot, 20));
    QCOMPARE(testing::sha256OfFile(f.target(u"five.bin"_s)), digest_[1]);
    QVERIFY(proxy.cutCount() >= 7);
}

void TestHttpNginx::resumesAfterRestartFromList()
{
    EngineFixture f;
    f.oneConnection(); // the file's length is its proven bytes
    testing::CuttingProxy proxy(u"127.0.0.1"_s, nginx_.port());
    proxy.setCut(1024 * 1024, 1);
    const QString url = proxy.url(u"three.bin"_s);
    f.window->addnew(url, f.target(u"three.bin"_s), 0, 0, false, 0, false, {}, {}, false);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(1).redo->isRunning(), 20000);
    const qint64 partial = QFileInfo(f.target(u"three.bin"_s)).size();
    QVERIFY(partial > 0 && partial < 3 * 1024 * 1024);

    // The window goes away mid-download, as at the end of the program.
    f.window->guardar_lista_activas();
    f.window.reset();

    f.window = std::make_unique<activas>();
    f.window->cargar_lista_activas();
    QVERIFY(f.window->existe(1));
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(1), 30000);
    QCOMPARE(testing::sha256OfFile(f.target(u"three.bin"_s)), digest_[0]);
    QCOMPARE(proxy.connectionCount(), 2);
    QVERIFY(nginx_.accessLog().contains(u" 206 "_s));
}

void TestHttpNginx::httpsLargeFileArrivesWhole()
{
    EngineFixture f;
    const int slot = f.add(tls_.url(u"big.bin"_s), u"big.bin"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), 180000);
    QCOMPARE(f.window->entry(slot).size, kBig);
    QCOMPARE(testing::sha256OfFile(f.target(u"big.bin"_s)), bigDigest_);
}

void TestHttpNginx::httpsSurvivesCutConnections()
{
    EngineFixture f;
    f.settings->setVecesv(50);
    // Plain TCP: the encrypted stream passes through and is cut mid-record.
    testing::CuttingProxy proxy(u"127.0.0.1"_s, tls_.port());
    proxy.setCut(3 * 1024 * 1024 + 1234);
    const QString url = u"https://localhost:"_s + QString::number(proxy.port()) + u"/twenty.bin"_s;
    const int slot = f.add(url, u"twenty.bin"_s);
    QVERIFY(driveToEnd(f, slot, 20));
    QCOMPARE(testing::sha256OfFile(f.target(u"twenty.bin"_s)), twentyDigest_);
    // Four connections each hold a range of 5 MiB: every one of them is cut.
    QVERIFY(proxy.cutCount() >= 4);
}

void TestHttpNginx::httpsHandshakeCutIsRetried()
{
    EngineFixture f;
    f.settings->setWaitv(120); // the stall watchdog must not be what notices the cut
    testing::CuttingProxy proxy(u"127.0.0.1"_s, tls_.port());
    // Inside the server's first handshake message: a network failure, not a certificate's.
    proxy.setCut(200, 2);
    const QString url = u"https://localhost:"_s + QString::number(proxy.port()) + u"/three.bin"_s;
    const int slot = f.add(url, u"three.bin"_s);
    QVERIFY(driveToEnd(f, slot, 3));
    QCOMPARE(testing::sha256OfFile(f.target(u"three.bin"_s)), digest_[0]);
    QCOMPARE(proxy.cutCount(), 2);
    QVERIFY(f.prompts.notices().isEmpty());
}

void TestHttpNginx::httpsRefusesBadCertificates_data()
{
    QTest::addColumn<QString>("certificate");
    QTest::addColumn<QString>("problem");
    QTest::newRow("wrong host") << u"wronghost"_s << u"El certificado de localhost está emitido para otro servidor."_s;
    QTest::newRow("expired") << u"expired"_s << u"El certificado de localhost ha caducado."_s;
}

void TestHttpNginx::httpsRefusesBadCertificates()
{
    QFETCH(QString, certificate);
    QFETCH(QString, problem);
    testing::NginxFixture server;
    QVERIFY(startTls(server, certificate));
    EngineFixture f;
    const int slot = f.add(server.url(u"three.bin"_s), u"three.bin"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->indicador(slot)->redoend(), 20000);
    QCOMPARE(f.prompts.notices().size(), 1);
    QVERIFY2(f.prompts.notices()[0].startsWith(problem), qPrintable(f.prompts.notices()[0]));
    QVERIFY(!f.finished(slot));
    QCOMPARE(QFileInfo(f.target(u"three.bin"_s)).size(), 0);
    // Not retried behind the user's back.
    QVERIFY(!f.window->slot(slot).redo->isRunning());
    QVERIFY(!server.accessLog().contains(u"GET"_s));
}

void TestHttpNginx::httpsChangedFileStartsOver()
{
    const QString served = served_.filePath(u"changing.bin"_s);
    QVERIFY(testing::writeRandomFile(served, 3 * 1024 * 1024, 5));
    EngineFixture f;
    testing::CuttingProxy proxy(u"127.0.0.1"_s, tls_.port());
    proxy.setCut(1024 * 1024, 1);
    const QString url = u"https://localhost:"_s + QString::number(proxy.port()) + u"/changing.bin"_s;
    const int slot = f.add(url, u"changing.bin"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(slot).redo->isRunning(), 20000);
    QVERIFY(QFileInfo(f.target(u"changing.bin"_s)).size() > 0);

    // Same size, other bytes, a later date: only the validator tells them apart.
    const QString next = served + u".new"_s;
    QVERIFY(testing::writeRandomFile(next, 3 * 1024 * 1024, 6));
    QFile replacement(next);
    QVERIFY(replacement.open(QIODevice::ReadWrite));
    QVERIFY(replacement.setFileTime(QDateTime::currentDateTimeUtc().addSecs(3600), QFileDevice::FileModificationTime));
    replacement.close();
    const QByteArray nextDigest = testing::sha256OfFile(next);
    QVERIFY(QFile::remove(served) && QFile::rename(next, served));

    f.window->redoTick(slot);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), 30000);
    QCOMPARE(testing::sha256OfFile(f.target(u"changing.bin"_s)), nextDigest);
    QVERIFY(f.statusTexts(3).contains(u"El archivo "_s + url
                                      + u" ha cambiado en el servidor: se descarga de nuevo desde el principio."_s));
    QVERIFY(f.prompts.notices().isEmpty());
}

void TestHttpNginx::redirectsBetweenHttpAndHttps()
{
    const QString plain = nginx_.url(u"three.bin"_s);
    const QString secure = tls_.url(u"three.bin"_s);
    const QString down = tls_.url(u"go?to="_s) + plain;
    const QString up = nginx_.url(u"go?to="_s) + secure;
    clearLogEntries();
    EngineFixture f;
    const int a = f.add(down, u"down.bin"_s);
    const int b = f.add(up, u"up.bin"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(a) && f.finished(b), 30000);
    QCOMPARE(testing::sha256OfFile(f.target(u"down.bin"_s)), digest_[0]);
    QCOMPARE(testing::sha256OfFile(f.target(u"up.bin"_s)), digest_[0]);
    // Leaving encryption is told, in black; the way up is not.
    QStringList told;
    for (const LogEntry &e : logEntries())
        if (e.text.contains(u"sin cifrar"_s))
            told << e.text + u" #"_s + QString::number(e.color);
    QCOMPARE(told, QStringList(u"\r\nLa descarga de "_s + down + u" sigue en una dirección sin cifrar: "_s + plain
                               + u" #0"_s));
}

QTEST_MAIN(TestHttpNginx)
#include "tst_http_nginx.moc"
