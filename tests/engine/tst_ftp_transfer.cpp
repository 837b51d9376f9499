#include "engine_fixture.h"
#include "file_digest.h"
#include "ftp_script_server.h"

#include "core/interval_timer.h"
#include "rows/download.h"

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int kWaitMs = 10000;

QStringList login(const QString &directory, const QString &name, const QString &user = u"anonymous"_s,
                  const QString &password = u"guestpw"_s)
{
    return {u"USER "_s + user,     u"PASS "_s + password, u"TYPE I"_s,
            u"CWD "_s + directory, u"REST 0"_s,           u"SIZE "_s + name};
}

QStringList fetch(const QString &name, qint64 restartAt = -1)
{
    QStringList out;
    if (restartAt >= 0)
        out << u"REST "_s + QString::number(restartAt);
    return out << u"PASV"_s << u"RETR "_s + name;
}

enum Option {
    Plain = 0,
    RejectRest = 1,
    JoinRestAndSize = 2,
    SplitPassive = 4,
    MultiLineWelcome = 8,
    ForeignPassiveHost = 16,
    RejectRestAt = 32, // "REST 0" accepted, "REST 65904" refused: the server sends from byte 0
};

} // namespace

class TstFtpTransfer : public QObject {
    Q_OBJECT

private slots:
    void transfer_data();
    void transfer();
    void refusedLoginAsksAndRetries();
    void refusalWhileAskingIsIgnored();
    void cutTransferResumes();
    void controlErrorArmsRetry();

private:
    int addFtp(EngineFixture &fx, const QString &url, const QString &name, bool resumable = false);
};

int TstFtpTransfer::addFtp(EngineFixture &fx, const QString &url, const QString &name, bool resumable)
{
    fx.window->addnew(url, fx.target(name), 0, 0, resumable, 0, true, u"anonymous"_s, u"guestpw"_s, false);
    for (int i = activas::kSlots - 1; i > 0; --i)
        if (fx.window->existe(i) && fx.window->entry(i).file == fx.target(name))
            return i;
    return 0;
}

void TstFtpTransfer::transfer_data()
{
    QTest::addColumn<QString>("path");       // after host:port/
    QTest::addColumn<QString>("serverName"); // the name the server knows
    QTest::addColumn<QByteArray>("onDisk");  // the local file before the download
    QTest::addColumn<bool>("resumable");     // as the list file had it
    QTest::addColumn<int>("options");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("from"); // where the last transfer started

    const QByteArray whole = testing::testBytes(200000);
    const QString dir = u"/pub/dir"_s;
    const QString x = u"x.tgz"_s;

    QTest::newRow("fresh download") << u"pub/dir/x.tgz"_s << x << QByteArray() << false << int(Plain)
                                    << login(dir, x) + fetch(x, 0) << 0;
    // Bytes not written by this run are proven: their last 4 KiB are fetched again.
    QTest::newRow("resume a 70000-byte part") << u"pub/dir/x.tgz"_s << x << whole.left(70000) << false << int(Plain)
                                              << login(dir, x) + fetch(x, 65904) << 65904;
    QTest::newRow("a part smaller than the proof is fetched whole")
        << u"pub/dir/x.tgz"_s << x << whole.left(1000) << false << int(Plain) << login(dir, x) + fetch(x, 0) << 0;
    QTest::newRow("damaged tail: rewritten from byte 1")
        << u"pub/dir/x.tgz"_s << x << whole.left(60000) + QByteArray(10000, 'z') << false << int(Plain)
        << login(dir, x) + fetch(x, 65904) + login(dir, x) + fetch(x, 0) << 65904;
    QTest::newRow("REST n refused: rewritten from byte 1") << u"pub/dir/x.tgz"_s << x << whole.left(70000) << false
                                                           << int(RejectRestAt) << login(dir, x) + fetch(x, 65904) << 0;
    QTest::newRow("REST 0 refused: rewritten, stale tail gone")
        << u"pub/dir/x.tgz"_s << x << QByteArray(whole.size() + 500, 'z') << true << int(RejectRest)
        << login(dir, x) + fetch(x) << 0;
    QTest::newRow("REST 0 refused for a part")
        << u"pub/dir/x.tgz"_s << x << whole.left(1000) << true << int(RejectRest) << login(dir, x) + fetch(x) << 0;
    QTest::newRow("local file longer than the server's")
        << u"pub/dir/x.tgz"_s << x << QByteArray(whole.size() + 10, 'z') << true << int(Plain)
        << login(dir, x) + fetch(x) << 0;
    QTest::newRow("350 and 213 in one packet") << u"pub/dir/x.tgz"_s << x << whole.left(70000) << false
                                               << int(JoinRestAndSize) << login(dir, x) + fetch(x, 65904) << 65904;
    QTest::newRow("split 227, multi-line 230")
        << u"pub/dir/x.tgz"_s << x << whole.left(70000) << false << int(SplitPassive | MultiLineWelcome)
        << login(dir, x) + fetch(x, 65904) << 65904;
    QTest::newRow("file in the root") << u"x.tgz"_s << x << QByteArray() << false << int(Plain)
                                      << login(u"/"_s, x) + fetch(x, 0) << 0;
    QTest::newRow("passive reply names another host") << u"pub/dir/x.tgz"_s << x << QByteArray() << false
                                                      << int(ForeignPassiveHost) << login(dir, x) + fetch(x, 0) << 0;
    QTest::newRow("%20 in the name") << u"pub/dir/my%20file.tgz"_s << u"my file.tgz"_s << QByteArray() << false
                                     << int(Plain) << login(dir, u"my file.tgz"_s) + fetch(u"my file.tgz"_s, 0) << 0;
    const QString odd = u"a\\b%41.tgz"_s;
    QTest::newRow("other characters as they stand") << u"pub/dir/a\\b%41.tgz"_s << odd << QByteArray() << false
                                                    << int(Plain) << login(dir, odd) + fetch(odd, 0) << 0;
}

void TstFtpTransfer::transfer()
{
    QFETCH(QString, path);
    QFETCH(QString, serverName);
    QFETCH(QByteArray, onDisk);
    QFETCH(bool, resumable);
    QFETCH(int, options);
    QFETCH(QStringList, commands);
    QFETCH(int, from);

    const QByteArray whole = testing::testBytes(200000);
    testing::FtpScriptServer server;
    QVERIFY(server.isListening());
    server.setFile(serverName, whole);
    if (options & RejectRest)
        server.setReply(u"REST 0"_s, "502 REST not implemented.\r\n");
    if (options & RejectRestAt)
        server.setReply(u"REST 65904"_s, "554 Restart not possible.\r\n");
    server.setJoinRestAndSize(options & JoinRestAndSize);
    if (options & SplitPassive)
        server.setSplitReplyTo(u"PASV"_s);
    server.setMultiLineWelcome(options & MultiLineWelcome);
    if (options & ForeignPassiveHost)
        server.setPassiveHost(u"192.0.2.1"_s);

    EngineFixture fx;
    const QString name = u"x.bin"_s;
    if (!onDisk.isNull())
        QVERIFY(testing::writeFile(fx.target(name), onDisk));
    const int slot = addFtp(fx, u"ftp://127.0.0.1:%1/"_s.arg(server.port()) + path, name, resumable);
    QVERIFY(slot > 0);

    QTRY_VERIFY_WITH_TIMEOUT(fx.finished(slot), kWaitMs);
    QCOMPARE(server.commands(), commands);
    const QByteArray got = testing::readFile(fx.target(name));
    QCOMPARE(got.size(), whole.size());
    QVERIFY(got == whole);
    // A resume fetches only what was missing, and the tail it proves.
    if (server.controlConnections() == 1)
        QCOMPARE(server.bytesServed(), qint64(whole.size() - from));
    QCOMPARE(server.lastDataPeer(), u"127.0.0.1"_s);
    QCOMPARE(fx.window->entry(slot).size, qint64(whole.size()));
}

void TstFtpTransfer::refusedLoginAsksAndRetries()
{
    const QByteArray whole = testing::testBytes(5000);
    testing::FtpScriptServer server;
    server.setFile(u"x.tgz"_s, whole);
    server.setCredentials(u"ana"_s, u"secreto"_s);

    EngineFixture fx;
    fx.settings->setWavs(true);
    QDir().mkpath(fx.folder.file(u"msg"_s));
    fx.folder.write(u"msg/user.wav"_s, "RIFF");

    QString shownUser, shownPassword;
    fx.prompts.dialogs.enqueue([&](QDialog &dialog) {
        auto *user = dialog.findChild<QLineEdit *>(u"username"_s);
        auto *password = dialog.findChild<QLineEdit *>(u"password"_s);
        if (!user || !password)
            return int(QDialog::Rejected);
        shownUser = user->text();
        shownPassword = password->text();
        user->setText(u"ana"_s);
        password->setText(u"secreto"_s);
        dialog.findChild<QCheckBox *>(u"remember"_s)->setChecked(true);
        return int(QDialog::Accepted);
    });

    const int slot = addFtp(fx, u"ftp://127.0.0.1:%1/pub/x.tgz"_s.arg(server.port()), u"x.bin"_s);
    QVERIFY(slot > 0);
    QTRY_COMPARE_WITH_TIMEOUT(fx.prompts.count(u"dialog"_s), 1, kWaitMs);
    const auto asked = fx.prompts.asked.last();
    QCOMPARE(asked.text, u"Usuario incorrecto."_s);
    QCOMPARE(asked.extra, u"ftplogin"_s);
    QCOMPARE(shownUser, u"anonymous"_s);
    QCOMPARE(shownPassword, u"guestpw"_s);
    QVERIFY(!fx.sound.played.isEmpty());
    QVERIFY(fx.sound.played.last().endsWith(u"user.wav"_s));

    QCOMPARE(fx.window->entry(slot).ftpuser, u"ana"_s);
    QCOMPARE(fx.window->entry(slot).ftppass, u"secreto"_s);
    QVERIFY(fx.window->entry(slot).remember);
    QCOMPARE(fx.window->slot(slot).redo->interval(), 5000);
    QVERIFY(fx.window->indicador(slot)->Reconectando());

    fx.window->redoTick(slot);
    QTRY_VERIFY_WITH_TIMEOUT(fx.finished(slot), kWaitMs);
    QCOMPARE(server.commands(), QStringList({u"USER anonymous"_s, u"PASS guestpw"_s})
                                    + login(u"/pub"_s, u"x.tgz"_s, u"ana"_s, u"secreto"_s) + fetch(u"x.tgz"_s, 0));
    QVERIFY(testing::readFile(fx.target(u"x.bin"_s)) == whole);
}

// One dialog at a time: a refusal for another download while it asks is
// not answered with a second dialog.
void TstFtpTransfer::refusalWhileAskingIsIgnored()
{
    testing::FtpScriptServer server;
    server.setFile(u"x.tgz"_s, testing::testBytes(100));
    server.setRejectLogins(2);

    EngineFixture fx;
    bool secondRefused = false;
    fx.prompts.dialogs.enqueue([&](QDialog &) {
        // Let the other download's 530 arrive while this dialog is up.
        secondRefused = QTest::qWaitFor([&] { return server.commands().count(u"PASS guestpw"_s) == 2; }, kWaitMs);
        QTest::qWait(200);
        return int(QDialog::Accepted);
    });
    const QString url = u"ftp://127.0.0.1:%1/x.tgz"_s.arg(server.port());
    const int a = addFtp(fx, url, u"a.bin"_s);
    const int b = addFtp(fx, url, u"b.bin"_s);
    QVERIFY(a > 0 && b > 0);

    QTRY_VERIFY_WITH_TIMEOUT(fx.window->slot(a).redo->isRunning() || fx.window->slot(b).redo->isRunning(), kWaitMs);
    QVERIFY(secondRefused);
    QCOMPARE(fx.prompts.count(u"dialog"_s), 1);
    // Exactly one of the two was asked about and will retry.
    QVERIFY(fx.window->slot(a).redo->isRunning() != fx.window->slot(b).redo->isRunning());
}

void TstFtpTransfer::cutTransferResumes()
{
    const QByteArray whole = testing::testBytes(300000);
    testing::FtpScriptServer server;
    server.setFile(u"x.tgz"_s, whole);
    server.setCutDataAfter(120000);

    EngineFixture fx;
    const int slot = addFtp(fx, u"ftp://127.0.0.1:%1/pub/x.tgz"_s.arg(server.port()), u"x.bin"_s);
    QVERIFY(slot > 0);
    QTRY_VERIFY_WITH_TIMEOUT(fx.window->slot(slot).redo->isRunning(), kWaitMs);
    QVERIFY(!fx.finished(slot));
    QCOMPARE(QFileInfo(fx.target(u"x.bin"_s)).size(), qint64(120000));
    QVERIFY(fx.statusTexts(3).contains(u"Se ha perdido la conexión con "_s + fx.window->entry(slot).url
                                       + u" . Reconectando..."_s));

    fx.window->redoTick(slot);
    QTRY_VERIFY_WITH_TIMEOUT(fx.finished(slot), kWaitMs);
    QCOMPARE(server.controlConnections(), 2);
    // The resume asks for the tail it already has, to compare it first.
    QVERIFY(server.commands().contains(u"REST %1"_s.arg(120000 - 4096)));
    QVERIFY(testing::readFile(fx.target(u"x.bin"_s)) == whole);
}

void TstFtpTransfer::controlErrorArmsRetry()
{
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    EngineFixture fx;
    const int slot = addFtp(fx, u"ftp://127.0.0.1:%1/x.tgz"_s.arg(closedPort), u"x.bin"_s);
    QVERIFY(slot > 0);
    QTRY_VERIFY_WITH_TIMEOUT(fx.window->slot(slot).redo->isRunning(), kWaitMs);
    QCOMPARE(fx.window->slot(slot).redo->interval(), 5000);
    QVERIFY(!fx.statusTexts(3).isEmpty());
    QVERIFY(!fx.statusTexts(3).last().isEmpty());
}

QTEST_MAIN(TstFtpTransfer)
#include "tst_ftp_transfer.moc"
