// The built program, copied into a fresh folder with its settings and list
// files, downloading from nginx on loopback; killed mid-download and started
// again, it resumes from the bytes already on disk.
#include "core/list_file.h"
#include "core/segment_file.h"
#include "core/settings_file.h"
#include "cutting_proxy.h"
#include "file_digest.h"
#include "ftp_script_server.h"
#include "nginx_fixture.h"
#include "platform/hand_off.h"
#include "vsftpd_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
QString builtProgram()
{
    return QString::fromUtf8(TANDREL_DOWNLOADER_PATH);
}
} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void downloadsTheStoredList();
    void resumesAfterBeingKilled();
    void resumesSegmentsAfterBeingKilled();
    void savesItsListWhenTerminated();
    void ftpResumesAPartialFile();
    void ftpCutIsRetried();
    void firstStartSecondStartAndOrderlyEnd();
    void secondStartHandsItsAddressesOver();
    void endsWhileAStartUpBoxIsOpen();
    void neverWritesThroughALink();

private:
    void copyProgram();
    QString fileText(const QString &name) const;
    // A program folder holding a copy of the program and its library.
    void prepareFolder(const QList<ListRecord> &records, int connections = 1);
    void startProgram();

    QTemporaryDir served_;
    QTemporaryDir folder_;
    testing::NginxFixture nginx_;
    QProcess program_;
};

void TestProgram::initTestCase()
{
    if (!QFile::exists(QString::fromLatin1(testing::NginxFixture::kBinary)))
        QSKIP("nginx is not installed");
    QVERIFY(testing::writeRandomFile(served_.filePath(u"one.bin"_s), 2 * 1024 * 1024 + 5, 7));
    QVERIFY(testing::writeRandomFile(served_.filePath(u"two.bin"_s), 4 * 1024 * 1024, 8));
    QVERIFY(testing::writeRandomFile(served_.filePath(u"sixteen.bin"_s), 16 * 1024 * 1024, 9));
    QVERIFY2(nginx_.start(served_.path()), qPrintable(nginx_.errorText()));
}

void TestProgram::cleanup()
{
    if (program_.state() != QProcess::NotRunning) {
        program_.kill();
        program_.waitForFinished(5000);
    }
}

void TestProgram::copyProgram()
{
    const QString dir = folder_.path();
    const QFileInfo built(builtProgram());
    for (const QString &name : {u"downloader"_s, u"libprogreso.so"_s, u"libPindle.so"_s}) {
        QFile::remove(dir + u'/' + name);
        QVERIFY(QFile::copy(built.absolutePath() + u'/' + name, dir + u'/' + name));
    }
}

QString TestProgram::fileText(const QString &name) const
{
    QFile file(folder_.filePath(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void TestProgram::prepareFolder(const QList<ListRecord> &records, int connections)
{
    const QString dir = folder_.path();
    copyProgram();
    SettingsValues settings = defaultSettings(dir);
    settings.wavs = false;
    settings.segs = u"5"_s;
    settings.segsv = 5;
    // A kill leaves a file as long as its proven bytes only on one connection.
    settings.connections = connections;
    QVERIFY(testing::writeFile(dir + u"/tandrel.ini"_s, encodeSettings(settings)));
    QVERIFY(testing::writeFile(dir + u"/activas.dwn"_s, encodeListFile(records, ListKind::Active)));
}

void TestProgram::startProgram()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    program_.setProcessEnvironment(env);
    program_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program_.setWorkingDirectory(QDir::tempPath());
    program_.start(folder_.path() + u"/downloader"_s, {});
    QVERIFY2(program_.waitForStarted(10000), qPrintable(program_.errorString()));
}

void TestProgram::downloadsTheStoredList()
{
    QList<ListRecord> records(2);
    records[0].url = nginx_.url(u"one.bin"_s);
    records[0].file = folder_.filePath(u"one.bin"_s);
    records[1].url = nginx_.url(u"two.bin"_s);
    records[1].file = folder_.filePath(u"two.bin"_s);
    prepareFolder(records);
    startProgram();

    const QByteArray one = testing::sha256OfFile(served_.filePath(u"one.bin"_s));
    const QByteArray two = testing::sha256OfFile(served_.filePath(u"two.bin"_s));
    QTRY_VERIFY_WITH_TIMEOUT(
        testing::sha256OfFile(records[0].file) == one && testing::sha256OfFile(records[1].file) == two, 30000);
    // Finished downloads leave the list that the next start reads.
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(folder_.filePath(u"activas.dwn"_s)).size(), 0, 10000);
    QCOMPARE(program_.state(), QProcess::Running);
}

void TestProgram::resumesAfterBeingKilled()
{
    testing::CuttingProxy proxy(u"127.0.0.1"_s, nginx_.port());
    proxy.setCut(1024 * 1024, 1);
    QList<ListRecord> records(1);
    records[0].url = proxy.url(u"two.bin"_s);
    records[0].file = folder_.filePath(u"resumed.bin"_s);
    prepareFolder(records);
    startProgram();

    // The first connection is cut; the program waits its retry delay.
    QTRY_VERIFY_WITH_TIMEOUT(proxy.cutCount() == 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(records[0].file).size() > 0, 5000);
    program_.kill();
    QVERIFY(program_.waitForFinished(5000));
    const qint64 partial = QFileInfo(records[0].file).size();
    QVERIFY(partial > 0 && partial < 4 * 1024 * 1024);

    startProgram();
    const QByteArray two = testing::sha256OfFile(served_.filePath(u"two.bin"_s));
    QTRY_VERIFY_WITH_TIMEOUT(testing::sha256OfFile(records[0].file) == two, 30000);
    QCOMPARE(proxy.connectionCount(), 2);
    // The second start asked only for what was missing.
    const QString log = nginx_.accessLog();
    QVERIFY2(log.contains(u" 206 "_s), qPrintable(log));
}

namespace {
// The bytes a side file vouches for, the proven prefix included; 0 when it
// is missing or not sound.
qint64 bytesInSideFile(const QString &target)
{
    QFile side(segmentFilePath(target));
    if (!side.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray bytes = side.readAll();
    const std::optional<SegmentRecord> header = segmentFileHeader(bytes);
    if (!header)
        return 0;
    qint64 sum = 0;
    for (const ByteRange &r : decodeSegmentFile(bytes, header->size, header->validator, 0).ranges)
        sum += r.length();
    return sum;
}

qint64 total(const QList<qint64> &values)
{
    qint64 sum = 0;
    for (qint64 v : values)
        sum += v;
    return sum;
}
} // namespace

// Four connections killed at about half: the next start fetches what the
// side file does not vouch for, each range once, plus the tail proofs.
void TestProgram::resumesSegmentsAfterBeingKilled()
{
    constexpr qint64 kSize = 16 * 1024 * 1024;
    testing::CuttingProxy proxy(u"127.0.0.1"_s, nginx_.port());
    QList<ListRecord> records(1);
    records[0].url = proxy.url(u"slow/sixteen.bin"_s);
    records[0].file = folder_.filePath(u"sixteen.bin"_s);
    prepareFolder(records, 4);
    startProgram();
    QTRY_VERIFY_WITH_TIMEOUT(bytesInSideFile(records[0].file) > kSize / 2, 30000);
    program_.kill();
    QVERIFY(program_.waitForFinished(5000));
    const qint64 vouched = bytesInSideFile(records[0].file);
    QFile sideAtKill(segmentFilePath(records[0].file));
    QVERIFY(sideAtKill.open(QIODevice::ReadOnly));
    const QByteArray sideText = sideAtKill.readAll();
    QVERIFY(vouched < kSize);
    const qint64 sentBefore = total(proxy.bytesToClients());
    const int connectionsBefore = proxy.connectionCount();

    startProgram();
    const QByteArray digest = testing::sha256OfFile(served_.filePath(u"sixteen.bin"_s));
    QTRY_VERIFY_WITH_TIMEOUT(
        !QFile::exists(segmentFilePath(records[0].file)) && testing::sha256OfFile(records[0].file) == digest, 30000);
    const qint64 sent = total(proxy.bytesToClients()) - sentBefore;
    const qint64 proofsAndHeaders = (proxy.connectionCount() - connectionsBefore) * (4096 + 1024);
    QVERIFY2(sent <= kSize - vouched + proofsAndHeaders,
             qPrintable(u"%1 sent, %2 vouched for by\n%3"_s.arg(sent).arg(vouched).arg(QString::fromUtf8(sideText))));
}

void TestProgram::savesItsListWhenTerminated()
{
    testing::CuttingProxy proxy(u"127.0.0.1"_s, nginx_.port());
    proxy.setCut(1024 * 1024, 1);
    QList<ListRecord> records(1);
    records[0].url = proxy.url(u"two.bin"_s);
    records[0].file = folder_.filePath(u"terminated.bin"_s);
    prepareFolder(records);
    startProgram();
    QTRY_VERIFY_WITH_TIMEOUT(proxy.cutCount() == 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(records[0].file).size() > 0, 5000);

    program_.terminate();
    QVERIFY(program_.waitForFinished(10000));
    QCOMPARE(program_.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program_.exitCode(), 0);
    QFile list(folder_.filePath(u"activas.dwn"_s));
    QVERIFY(list.open(QIODevice::ReadOnly));
    const ListLoad saved = decodeListFile(list.readAll(), ListKind::Active);
    QVERIFY(saved.error.isEmpty());
    QCOMPARE(saved.records.size(), 1);
    QCOMPARE(saved.records[0].position, QFileInfo(records[0].file).size() + 1);
    QCOMPARE(saved.records[0].size, 4 * 1024 * 1024);
}

// A new user's first start: no settings file is no error. A second start in
// the same folder ends at once; SIGTERM writes every file of the orderly end.
void TestProgram::firstStartSecondStartAndOrderlyEnd()
{
    for (const QString &name : QDir(folder_.path()).entryList(QDir::Files))
        QFile::remove(folder_.filePath(name));
    copyProgram();
    startProgram();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(folder_.filePath(u"tandrel.ini"_s)), 10000);
    const SettingsReadResult ini = readSettingsFile(folder_.filePath(u"tandrel.ini"_s), folder_.path());
    QVERIFY2(ini.ok(), qPrintable(ini.error));

    QProcess second;
    second.setProcessEnvironment(program_.processEnvironment());
    second.start(folder_.path() + u"/downloader"_s, {});
    QVERIFY(second.waitForFinished(5000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(program_.state(), QProcess::Running);

    program_.terminate();
    QVERIFY(program_.waitForFinished(10000));
    QCOMPARE(program_.exitStatus(), QProcess::NormalExit);
    QFile view(folder_.filePath(u"view.win"_s));
    QVERIFY(view.open(QIODevice::ReadOnly));
    QCOMPARE(view.readAll(), QByteArray(14, char(0xFF)));
    QVERIFY(QFileInfo::exists(folder_.filePath(u"quick.lst"_s)));
    QVERIFY(QFileInfo::exists(folder_.filePath(u"activas.dwn"_s)));
    const QString log = fileText(u"historial.rtf"_s);
    QVERIFY2(log.startsWith(u"{\\rtf1"_s) && log.contains(u"Iniciado a las "_s) && log.contains(u"Cerrado a las "_s),
             qPrintable(log));
}

// A second start with an address gives it to the running copy, which
// downloads it as if typed; a wrong address or a garbled message is refused,
// and help needs no window.
void TestProgram::secondStartHandsItsAddressesOver()
{
    prepareFolder({});
    QFile::remove(folder_.filePath(u"historial.rtf"_s));
    startProgram();
    // Listening once its lists are loaded; the log is on disk by then.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(folder_.filePath(u"historial.rtf"_s)), 15000);
    const auto run = [&](const QStringList &arguments) {
        auto second = std::make_unique<QProcess>();
        second->setProcessEnvironment(program_.processEnvironment());
        second->start(folder_.path() + u"/downloader"_s, arguments);
        [&] { QVERIFY(second->waitForFinished(10000)); }();
        return second;
    };
    QCOMPARE(run({nginx_.url(u"one.bin"_s)})->exitCode(), 0);
    const QString target = folder_.filePath(u"download/one.bin"_s);
    QTRY_VERIFY_WITH_TIMEOUT(testing::sha256OfFile(target) == testing::sha256OfFile(served_.filePath(u"one.bin"_s)),
                             30000);

    const auto wrong = run({u"ftp:/sin-barras"_s});
    QVERIFY(wrong->exitCode() != 0);
    QVERIFY(QString::fromLocal8Bit(wrong->readAllStandardError()).contains(u"debe empezar por http://"_s));
    const auto help = run({u"--help"_s});
    QCOMPARE(help->exitCode(), 0);
    QVERIFY(QString::fromLocal8Bit(help->readAllStandardOutput()).startsWith(u"Uso: downloader"_s));

    QLocalSocket garbage;
    garbage.connectToServer(platform::handOffName(folder_.path()));
    QVERIFY(garbage.waitForConnected(5000));
    garbage.write("{\"direcciones\": [\"file:///etc/passwd\"]}");
    QVERIFY(garbage.waitForBytesWritten(5000));
    garbage.disconnectFromServer();
    QTRY_VERIFY_WITH_TIMEOUT(fileText(u"historial.rtf"_s).contains(u"Se ha descartado un mensaje"_s), 10000);
    QCOMPARE(program_.state(), QProcess::Running);
    QVERIFY(!QFileInfo::exists(folder_.filePath(u"download/passwd"_s)));
    program_.terminate();
    QVERIFY(program_.waitForFinished(10000));
    // The folder is the next test's.
    QVERIFY(QDir(folder_.filePath(u"download"_s)).removeRecursively());
}

// A damaged list opens an error box before the main loop settles; a signal
// still ends the program, and the list it could not read stays as it was.
void TestProgram::endsWhileAStartUpBoxIsOpen()
{
    prepareFolder({});
    const QByteArray damaged = "http://127.0.0.1:9/x\r\n/tmp/x\r\nnot a number\r\n";
    QVERIFY(testing::writeFile(folder_.filePath(u"activas.dwn"_s), damaged));
    startProgram();
    // The box is open once the log has its start entry and nothing more happens.
    QTest::qWait(2500);
    QCOMPARE(program_.state(), QProcess::Running);
    program_.terminate();
    QVERIFY(program_.waitForFinished(10000));
    QCOMPARE(program_.exitStatus(), QProcess::NormalExit);
    QFile list(folder_.filePath(u"activas.dwn"_s));
    QVERIFY(list.open(QIODevice::ReadOnly));
    QCOMPARE(list.readAll(), damaged);
    // Copied aside before anything could write the list again.
    QCOMPARE(testing::readFile(folder_.filePath(u"activas.dwn.bak"_s)), damaged);
}

// A list naming a target that is a link to another file: the program refuses
// it, says why in the log, and the other file keeps its bytes.
void TestProgram::neverWritesThroughALink()
{
    ListRecord r;
    r.url = nginx_.url(u"one.bin"_s);
    r.file = folder_.filePath(u"download/one.bin"_s);
    prepareFolder({r});
    const QString secret = folder_.filePath(u"secret.txt"_s);
    QVERIFY(testing::writeFile(secret, "secreto"));
    QVERIFY(QDir(folder_.path()).mkpath(u"download"_s));
    QVERIFY(QFile::link(secret, r.file));
    startProgram();
    QTest::qWait(3000);
    program_.terminate();
    QVERIFY(program_.waitForFinished(10000));
    QCOMPARE(testing::readFile(secret), QByteArray("secreto"));
    QVERIFY(QFileInfo(r.file).isSymLink());
    const QString log = QString::fromLatin1(testing::readFile(folder_.filePath(u"historial.rtf"_s)));
    QVERIFY2(log.contains(u"es un enlace; no se escribe a trav"_s), qPrintable(log.right(400)));
}

void TestProgram::ftpResumesAPartialFile()
{
    if (!testing::VsftpdFixture::installed())
        QSKIP("vsftpd is not installed");
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(u"pub"_s));
    QVERIFY(testing::writeRandomFile(root.filePath(u"pub/data.bin"_s), 2 * 1024 * 1024 + 3, 11));
    QVERIFY(testing::writeRandomFile(root.filePath(u"top.bin"_s), 300000, 12));
    testing::VsftpdFixture ftp(root.path());
    QVERIFY2(ftp.start(), qPrintable(ftp.error()));

    QList<ListRecord> records(2);
    records[0].url = ftp.url(u"pub/data.bin"_s);
    records[0].file = folder_.filePath(u"data.bin"_s);
    records[1].url = ftp.url(u"top.bin"_s);
    records[1].file = folder_.filePath(u"top.bin"_s);
    for (ListRecord &r : records) {
        r.ftpuser = u"anonymous"_s;
        r.ftppass = u"guestpw"_s;
        r.remember = true;
    }
    // The first 400000 bytes are already here from an earlier run.
    QFile source(root.filePath(u"pub/data.bin"_s));
    QVERIFY(source.open(QIODevice::ReadOnly));
    QVERIFY(testing::writeFile(records[0].file, source.read(400000)));
    prepareFolder(records);
    startProgram();

    const QByteArray data = testing::sha256OfFile(root.filePath(u"pub/data.bin"_s));
    const QByteArray top = testing::sha256OfFile(root.filePath(u"top.bin"_s));
    QTRY_VERIFY_WITH_TIMEOUT(
        testing::sha256OfFile(records[0].file) == data && testing::sha256OfFile(records[1].file) == top, 30000);
    const QString log = ftp.protocolLog();
    QVERIFY2(log.contains(u"\"REST 395904\""_s), qPrintable(log.right(3000)));
}

void TestProgram::ftpCutIsRetried()
{
    testing::FtpScriptServer server;
    QByteArray body(900000, Qt::Uninitialized);
    for (int k = 0; k < body.size(); ++k)
        body[k] = char((k * 7 + k / 1000) & 0xFF);
    server.setFile(u"cut.bin"_s, body);
    server.setCutDataAfter(300000);

    QList<ListRecord> records(1);
    records[0].url = u"ftp://127.0.0.1:%1/pub/cut.bin"_s.arg(server.port());
    records[0].file = folder_.filePath(u"cut.bin"_s);
    records[0].ftpuser = u"anonymous"_s;
    records[0].ftppass = u"guestpw"_s;
    records[0].remember = true;
    prepareFolder(records);
    startProgram();

    // The retry waits the configured five seconds, then logs in again and resumes.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(records[0].file).size() == body.size(), 30000);
    QFile got(records[0].file);
    QVERIFY(got.open(QIODevice::ReadOnly));
    QVERIFY(got.readAll() == body);
    QCOMPARE(server.controlConnections(), 2);
    QVERIFY(server.commands().filter(u"REST "_s).filter(QRegularExpression(u"^REST [1-9]"_s)).size() == 1);
}

QTEST_MAIN(TestProgram)
#include "tst_program.moc"
