#include "engine_fixture.h"
#include "file_digest.h"
#include "nginx_fixture.h"
#include "vsftpd_fixture.h"

#include "core/interval_timer.h"
#include "rows/download.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
constexpr int kWaitMs = 60000;
}

// The FTP client against a real vsftpd: what arrives must be the source,
// byte for byte, also after a resume and after a cut connection.
class TstFtpVsftpd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void download_data();
    void download();
    void resumesAPartialFile();
    void cutTransferIsRetried();
    void httpRedirectHandsOverToFtp();

private:
    int addFtp(EngineFixture &fx, const QString &url, const QString &name);
    QString source(const QString &relative) const { return root_->filePath(relative); }

    std::unique_ptr<QTemporaryDir> root_;
    std::unique_ptr<testing::VsftpdFixture> server_;
};

void TstFtpVsftpd::initTestCase()
{
    if (!testing::VsftpdFixture::installed())
        QSKIP("vsftpd is not installed (Debian package vsftpd)");
    root_ = std::make_unique<QTemporaryDir>();
    QVERIFY(root_->isValid());
    QVERIFY(QDir(root_->path()).mkpath(u"pub/sub dir"_s));
    QVERIFY(testing::writeRandomFile(source(u"root.bin"_s), 300000, 1));
    QVERIFY(testing::writeRandomFile(source(u"pub/sub dir/nested.bin"_s), 1500000, 2));
    QVERIFY(testing::writeRandomFile(source(u"pub/big.bin"_s), 32 * 1024 * 1024, 3));

    server_ = std::make_unique<testing::VsftpdFixture>(root_->path());
    QVERIFY2(server_->start(), qPrintable(server_->error()));
}

void TstFtpVsftpd::cleanupTestCase()
{
    server_.reset();
    root_.reset();
}

int TstFtpVsftpd::addFtp(EngineFixture &fx, const QString &url, const QString &name)
{
    fx.window->addnew(url, fx.target(name), 0, 0, false, 0, true, u"anonymous"_s, u"guestpw"_s, false);
    for (int i = activas::kSlots - 1; i > 0; --i)
        if (fx.window->existe(i) && fx.window->entry(i).file == fx.target(name))
            return i;
    return 0;
}

void TstFtpVsftpd::download_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("file in the root") << u"root.bin"_s;
    QTest::newRow("file in a subfolder with a blank") << u"pub/sub dir/nested.bin"_s;
}

void TstFtpVsftpd::download()
{
    QFETCH(QString, relative);
    EngineFixture fx;
    const int slot = addFtp(fx, server_->url(relative), u"got.bin"_s);
    QVERIFY(slot > 0);
    QTRY_VERIFY2_WITH_TIMEOUT(fx.finished(slot), qPrintable(fx.statusTexts(3).join(u" | "_s)), kWaitMs);
    QCOMPARE(testing::sha256OfFile(fx.target(u"got.bin"_s)), testing::sha256OfFile(source(relative)));
    QCOMPARE(fx.window->entry(slot).size, QFileInfo(source(relative)).size());
}

void TstFtpVsftpd::resumesAPartialFile()
{
    const QString relative = u"pub/sub dir/nested.bin"_s;
    EngineFixture fx;
    {
        QFile in(source(relative));
        QVERIFY(in.open(QIODevice::ReadOnly));
        fx.folder.write(u"part.bin"_s, in.read(400000));
    }
    const int slot = addFtp(fx, server_->url(relative), u"part.bin"_s);
    QVERIFY(slot > 0);
    QTRY_VERIFY_WITH_TIMEOUT(fx.finished(slot), kWaitMs);
    QCOMPARE(testing::sha256OfFile(fx.target(u"part.bin"_s)), testing::sha256OfFile(source(relative)));
    // The server took the restart: the transfer began after the part on disk.
    QVERIFY(fx.window->entry(slot).resumable);
    QCOMPARE(fx.window->entry(slot).positionAtConnect, qint64(400001));
}

// A transfer that stops moving is closed by the watchdog and resumed.
void TstFtpVsftpd::cutTransferIsRetried()
{
    const QString relative = u"pub/big.bin"_s;
    testing::VsftpdFixture slow(root_->path());
    slow.setMaxRate(8 * 1024 * 1024);
    QVERIFY2(slow.start(), qPrintable(slow.error()));
    EngineFixture fx;
    const int slot = addFtp(fx, slow.url(relative), u"big.bin"_s);
    QVERIFY(slot > 0);

    QTRY_VERIFY_WITH_TIMEOUT(fx.window->entry(slot).position > 1, kWaitMs);
    for (int k = 0; k <= 10; ++k)
        fx.window->tiempotransTick();
    QVERIFY(fx.window->slot(slot).redo->isRunning());
    QVERIFY(!fx.finished(slot));

    fx.window->redoTick(slot);
    QTRY_VERIFY_WITH_TIMEOUT(fx.finished(slot), 3 * kWaitMs);
    const QString target = fx.target(u"big.bin"_s);
    QCOMPARE(testing::sha256OfFile(target), testing::sha256OfFile(source(relative)));
    QVERIFY(fx.window->entry(slot).positionAtConnect > 1);
}

// nginx sends the download to vsftpd: the FTP client fetches it into the
// same file. The list keeps the http address, so after a restart the
// download asks nginx again and resumes over FTP.
void TstFtpVsftpd::httpRedirectHandsOverToFtp()
{
    if (!QFile::exists(QString::fromLatin1(testing::NginxFixture::kBinary)))
        QSKIP("nginx is not installed");
    QTemporaryDir nothingServed;
    testing::NginxFixture nginx;
    QVERIFY2(nginx.start(nothingServed.path()), qPrintable(nginx.errorText()));
    const QString relative = u"pub/big.bin"_s;
    testing::VsftpdFixture slow(root_->path());
    slow.setMaxRate(8 * 1024 * 1024);
    QVERIFY2(slow.start(), qPrintable(slow.error()));
    const QString address = nginx.url(u"go?to="_s) + slow.url(relative);

    EngineFixture fx;
    const int slot = fx.add(address, u"big.bin"_s);
    QVERIFY(slot > 0);
    QTRY_VERIFY_WITH_TIMEOUT(fx.window->entry(slot).position > 1024 * 1024, kWaitMs);
    QVERIFY(!fx.finished(slot));
    QCOMPARE(fx.window->entry(slot).url, address);
    fx.window->guardar_lista_activas();
    fx.window.reset();

    fx.window = std::make_unique<activas>();
    fx.window->cargar_lista_activas();
    QVERIFY(fx.window->existe(1));
    QCOMPARE(fx.window->entry(1).url, address);
    QTRY_VERIFY2_WITH_TIMEOUT(fx.finished(1), qPrintable(fx.statusTexts(3).join(u" | "_s)), 3 * kWaitMs);
    QCOMPARE(testing::sha256OfFile(fx.target(u"big.bin"_s)), testing::sha256OfFile(source(relative)));
    QCOMPARE(nginx.accessLog().count(u"GET /go?to=ftp://"_s), 2);
    const QString commands = slow.protocolLog();
    QCOMPARE(commands.count(u"\"USER anonymous\""_s), 2);
    // The second session resumed: it asked for more than the first byte.
    QVERIFY(QRegularExpression(u"\"REST [1-9][0-9]+\""_s).match(commands).hasMatch());
}

QTEST_MAIN(TstFtpVsftpd)
#include "tst_ftp_vsftpd.moc"
