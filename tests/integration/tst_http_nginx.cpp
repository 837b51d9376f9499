// The engine against a real nginx on loopback: whole files arrive with the
// source's digest, through cut connections and across a restart.
#include "engine_fixture.h"

#include "cutting_proxy.h"
#include "file_digest.h"
#include "nginx_fixture.h"
#include "platform/interval_timer.h"
#include "rows/download.h"

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

private:
    // Runs the retries at once instead of waiting for the retry delay.
    static bool driveToEnd(EngineFixture &f, int slot, int maxRetries);

    QTemporaryDir served_;
    testing::NginxFixture nginx_;
    QByteArray digest_[2];
};

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
}

bool TestHttpNginx::driveToEnd(EngineFixture &f, int slot, int maxRetries)
{
    for (int attempt = 0; attempt <= maxRetries; ++attempt) {
        if (!QTest::qWaitFor([&] { return f.finished(slot) || f.window->slot(slot).redo->isRunning(); }, 20000))
            return false;
        if (f.finished(slot))
            return true;
        f.window->redoTick(slot);
    }
    return f.finished(slot);
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

QTEST_MAIN(TestHttpNginx)
#include "tst_http_nginx.moc"
