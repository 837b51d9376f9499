// The link-list window and the list window: a page fetched from a real
// server, scanned, and its addresses downloaded whole; the fetch's failure,
// stop and size cap; names from list files kept inside the chosen folder.
#include "core/tls_config.h"
#include "engine/activas.h"
#include "engine/inactivas.h"
#include "file_digest.h"
#include "links/listado.h"
#include "links/oldsupport.h"
#include "links/page_fetch.h"
#include "log/log_append.h"
#include "log/notices.h"
#include "nginx_fixture.h"
#include "rows/download.h"
#include "scripted_prompts.h"
#include "settings/cfg.h"
#include "test_authority.h"
#include "test_folder.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Both download tables in a fresh program folder, with scripted prompts and
// recorded sounds.
struct Tables {
    testing::TestFolder folder;
    testing::ScriptedPrompts prompts;
    testing::RecordingSound sound;
    std::unique_ptr<cfg> settings;
    std::unique_ptr<activas> active;
    std::unique_ptr<inactivas> queue;

    Tables()
    {
        QDir(folder.path()).mkpath(u"msg"_s);
        QDir(folder.path()).mkpath(u"down"_s);
        folder.write(u"msg/ding.wav"_s, "RIFF");
        folder.write(u"msg/error.gif"_s, "GIF89a");
        settings = std::make_unique<cfg>();
        settings->setDefdir(down());
        settings->setMaxdesc(3);
        settings->setVecesv(5);
        settings->setSegsv(5);
        settings->setWaitv(10);
        settings->setAutocont(true);
        settings->setDellista(false);
        settings->setWavs(true);
        active = std::make_unique<activas>();
        queue = std::make_unique<inactivas>();
        queue->setActive(active.get());
        prompts.asked.clear();
    }
    ~Tables()
    {
        queue.reset();
        active.reset();
        settings.reset();
    }
    QString down() const { return folder.path() + u"/down"_s; }
};

template <typename T> T *child(QWidget &window, const QString &name)
{
    T *found = window.findChild<T *>(name);
    if (!found)
        qFatal("no child %s", qPrintable(name));
    return found;
}

QStringList items(QWidget &window, const QString &name)
{
    QStringList out;
    const QListWidget *list = child<QListWidget>(window, name);
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

class TestListado : public QObject {
    Q_OBJECT
private slots:
    void init() { clearLogEntries(); }
    void opening_data();
    void opening();
    void unusableAddress_data();
    void unusableAddress();
    void stopAndSizeCap();
    void closingEndsTheWork_data();
    void closingEndsTheWork();
    void pageToWholeFiles();
    void httpsPageVerified();
    void listWindowKeepsNamesInFolder();
};

void TestListado::opening_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("direcc");
    QTest::addColumn<QByteArray>("listFile");
    QTest::addColumn<QStringList>("ext");
    const QStringList factory{u"exe"_s, u"zip"_s, u"ace"_s, u"tar"_s, u"iso"_s, u"bmp"_s, u"gif"_s, u"jpg"_s};
    QTest::newRow("http address, factory list")
        << u"http://h/p.html"_s << u"http://h/p.html"_s << QByteArray() << factory;
    QTest::newRow("ftp address, list file")
        << u"ftp://h/f"_s << QString() << QByteArray("zip\r\n\r\n.rar") << QStringList{u"zip"_s, u".rar"_s};
    QTest::newRow("https address, list file")
        << u"https://h/p"_s << u"https://h/p"_s << QByteArray("zip\r\n") << QStringList{u"zip"_s};
    QTest::newRow("plain text") << u"hola"_s << QString() << QByteArray() << factory;
}

void TestListado::opening()
{
    QFETCH(QString, clipboard);
    QFETCH(QString, direcc);
    QFETCH(QByteArray, listFile);
    QFETCH(QStringList, ext);

    Tables t;
    if (!listFile.isEmpty())
        t.folder.write(u"listado.lst"_s, listFile);
    QGuiApplication::clipboard()->setText(clipboard);
    listado w(t.active.get(), t.queue.get());
    QCOMPARE(child<QLineEdit>(w, u"direcc"_s)->text(), direcc);
    QCOMPARE(child<QLineEdit>(w, u"destdir"_s)->text(), t.down() + QDir::separator());
    QCOMPARE(items(w, u"ext"_s), ext);

    // Edits reach the file only through a batch add.
    t.prompts.texts.enqueue(u"7z"_s);
    child<QPushButton>(w, u"adext"_s)->click();
    QCOMPARE(items(w, u"ext"_s).last(), u"7z"_s);
    w.reject();
    QCOMPARE(t.folder.read(u"listado.lst"_s), listFile);
}

void TestListado::unusableAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("socketError");
    QTest::newRow("refused") << u"http://127.0.0.1:%1/p.html"_s.arg(closedPort()) << true;
    QTest::newRow("ftp") << u"ftp://127.0.0.1/p.html"_s << false;
}

// The window is usable again afterwards: the address can be corrected.
void TestListado::unusableAddress()
{
    QFETCH(QString, address);
    QFETCH(bool, socketError);

    Tables t;
    listado w(t.active.get(), t.queue.get());
    auto *direcc = child<QLineEdit>(w, u"direcc"_s);
    direcc->setText(address);
    w.obtener();
    QTRY_VERIFY_WITH_TIMEOUT(!w.busy(), 10000);
    QVERIFY(direcc->isEnabled());
    QVERIFY(child<QPushButton>(w, u"obtener"_s)->isEnabled());
    QVERIFY(!child<QPushButton>(w, u"detener"_s)->isEnabled());
    if (socketError) {
        QCOMPARE(t.sound.played, QStringList{msgFile(u"ding.wav"_s)});
        QCOMPARE(t.prompts.notices().size(), 1);
        QCOMPARE(t.prompts.asked.last().extra, msgFile(u"error.gif"_s));
        QVERIFY(t.prompts.messages().isEmpty());
    } else {
        QCOMPARE(t.prompts.messages(), QStringList{u"Dirección incorrecta."_s});
        QVERIFY(t.sound.played.isEmpty());
    }
}

// A server that answers nothing and never closes, then one that sends
// without end: neither holds the window.
void TestListado::stopAndSizeCap()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    Tables t;
    listado w(t.active.get(), t.queue.get());
    w.show(); // the page box lays out what it shows
    auto *direcc = child<QLineEdit>(w, u"direcc"_s);
    direcc->setText(u"http://127.0.0.1:%1/p"_s.arg(server.serverPort()));

    w.obtener();
    QVERIFY(!direcc->isEnabled());
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *silent = server.nextPendingConnection();
    const QByteArray request = "GET /p HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    QTRY_COMPARE(silent->bytesAvailable(), qint64(request.size()));
    QCOMPARE(silent->readAll(), request);
    QTest::qWait(50);
    QVERIFY(w.busy());
    child<QPushButton>(w, u"detener"_s)->click();
    QVERIFY(!w.busy());
    QVERIFY(direcc->isEnabled());
    QCOMPARE(direcc->text(), u"http://127.0.0.1:%1/p"_s.arg(server.serverPort())); // no retry with "/"
    QCOMPARE(w.windowTitle(), u"No se han encontrado resultados"_s);

    w.obtener();
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *flood = server.nextPendingConnection();
    // One line with no end in sight, the hardest case for the page box.
    // The scan lets other events through while it lists addresses.
    bool yielded = false;
    bool posted = false;
    connect(child<QListWidget>(w, u"si"_s)->model(), &QAbstractItemModel::rowsInserted, &w, [&] {
        if (!std::exchange(posted, true))
            QTimer::singleShot(0, &w, [&] { yielded = w.busy(); });
    });
    flood->write("HTTP/1.1 200 OK\r\n\r\n" + QByteArray("<a href='f.zip'>").repeated(3 * listado::kScanStep));
    flood->write(QByteArray(PageFetch::kMaxBytes + 1024 * 1024, 'y'));
    QTRY_VERIFY_WITH_TIMEOUT(!w.busy(), 60000);
    QCOMPARE(t.prompts.messages().size(), 1);
    QVERIFY(t.prompts.messages().first().contains(u"8 MB"_s));
    QCOMPARE(items(w, u"si"_s).size(), 3 * listado::kScanStep);
    QCOMPARE(items(w, u"si"_s).last(), u"http://127.0.0.1:%1/f.zip"_s.arg(server.serverPort()));
    QVERIFY(yielded);
    // The box shows the reply up to the cap, its endless line broken so that
    // laying it out takes no seconds.
    QString code = child<QPlainTextEdit>(w, u"code"_s)->toPlainText();
    qsizetype longest = 0;
    for (QStringView line : QStringView(code).split(u'\n'))
        longest = qMax(longest, line.size());
    QVERIFY(longest <= 2048);
    QCOMPARE(code.remove(u'\n').remove(u'\r').size(), PageFetch::kMaxBytes - 4);
    QVERIFY(code.endsWith(u"yyy"_s));
    QVERIFY(direcc->isEnabled());
}

void TestListado::closingEndsTheWork_data()
{
    QTest::addColumn<bool>("midScan");
    QTest::newRow("while fetching") << false;
    QTest::newRow("mid-scan") << true;
}

// Closing the window ends its fetch or scan: no box comes afterwards (a
// whole scan of this page would tell that it holds too many addresses), and
// no second try with "/" appended.
void TestListado::closingEndsTheWork()
{
    QFETCH(bool, midScan);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    Tables t;
    listado w(t.active.get(), t.queue.get());
    w.show();
    child<QLineEdit>(w, u"direcc"_s)->setText(u"http://127.0.0.1:%1/p"_s.arg(server.serverPort()));
    w.obtener();
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *peer = server.nextPendingConnection();
    // Read whole, so that closing sends the page to its end and no reset.
    const QByteArray request = "GET /p HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    QTRY_COMPARE(peer->bytesAvailable(), qint64(request.size()));
    peer->readAll();
    if (midScan) {
        bool posted = false;
        connect(child<QListWidget>(w, u"si"_s)->model(), &QAbstractItemModel::rowsInserted, &w, [&] {
            if (!std::exchange(posted, true))
                QTimer::singleShot(0, &w, [&] { w.close(); });
        });
    } else {
        w.close();
        QVERIFY(!w.busy());
    }
    peer->write("HTTP/1.1 200 OK\r\n\r\n" + QByteArray("<a href='f.zip'> ").repeated(kMaxAddresses + 10));
    peer->disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(peer->state(), QAbstractSocket::UnconnectedState, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!w.busy(), 20000);
    QCoreApplication::processEvents();

    QVERIFY(!w.isVisible());
    QCOMPARE(w.result(), int(QDialog::Rejected));
    QCOMPARE(t.prompts.messages(), QStringList());
    QCOMPARE(t.prompts.notices(), QStringList());
    QCOMPARE(t.prompts.asked.size(), 0);
    QVERIFY(t.sound.played.isEmpty());
    QVERIFY(!server.hasPendingConnections());
    if (midScan)
        QVERIFY(!items(w, u"si"_s).isEmpty());
    QVERIFY(items(w, u"si"_s).size() < kMaxAddresses);
}

// A page from nginx: found at the second try with "/" appended, its links
// sorted, and a batch with a maximum of 3 that starts three downloads,
// queues the rest, and brings every file whole.
void TestListado::pageToWholeFiles()
{
    if (!QFile::exists(QString::fromLatin1(testing::NginxFixture::kBinary)))
        QSKIP("nginx is not installed");
    QTemporaryDir served;
    QVERIFY(QDir(served.path()).mkpath(u"dir/sub"_s));
    QVERIFY(QDir(served.path()).mkpath(u"x"_s));
    const QStringList sources{u"dir/a.zip"_s, u"dir/b.zip"_s,    u"dir/c.zip"_s, u"dir/sub/a.zip"_s,
                              u"x/e.zip"_s,   u"dir/root.zip"_s, u"abs.zip"_s};
    for (int i = 0; i < sources.size(); ++i)
        QVERIFY(testing::writeRandomFile(served.filePath(sources[i]), 300 * 1024 + i * 4099, quint32(i + 1)));
    testing::NginxFixture nginx;
    QVERIFY2(nginx.start(served.path()), qPrintable(nginx.errorText()));
    const QString page = u"<html><body>\n"
                         "<a href=\"a.zip\">quoted</a> <a href=b.zip>unquoted</a> <a href='c.zip'>single</a>\n"
                         "<a href=\"sub/a.zip\">same name</a> <a href=\"../x/e.zip\">up</a>\n"
                         "<a href=\"/root.zip\">slash</a> <a href=\"%1\">absolute</a>\n"
                         "<a href=\"other.html\">page</a> <img src=\"pic.zip\"> <a href=\"a.zip\">again</a>\n"
                         "</body></html>\n"_s.arg(nginx.url(u"abs.zip"_s));
    QVERIFY(testing::writeFile(served.filePath(u"dir/index.html"_s), page.toUtf8()));

    Tables t;
    t.folder.write(u"listado.lst"_s, "zip\r\n");
    listado w(t.active.get(), t.queue.get());
    auto *direcc = child<QLineEdit>(w, u"direcc"_s);
    direcc->setText(nginx.url(u"dir"_s));
    w.obtener();
    QTRY_VERIFY_WITH_TIMEOUT(!w.busy(), 20000);
    QCOMPARE(direcc->text(), nginx.url(u"dir/"_s));
    QVERIFY(nginx.accessLog().contains(u"\"GET /dir HTTP/1.1\""_s));
    const QString dir = nginx.url(u"dir/"_s);
    const QStringList si{dir + u"a.zip"_s,        dir + u"b.zip"_s,    dir + u"c.zip"_s,        dir + u"sub/a.zip"_s,
                         nginx.url(u"x/e.zip"_s), dir + u"root.zip"_s, nginx.url(u"abs.zip"_s), dir + u"a.zip"_s};
    QCOMPARE(items(w, u"si"_s), si);
    QCOMPARE(items(w, u"no"_s), QStringList{dir + u"other.html"_s});
    QCOMPARE(w.windowTitle(), u"9 direcciones encontradas"_s);

    t.prompts.texts.enqueue(u".bin"_s);
    child<QPushButton>(w, u"adext"_s)->click();
    w.addtolist();
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QCOMPARE(t.folder.read(u"listado.lst"_s), QByteArray("zip\r\n.bin\r\n"));

    const QString down = t.down() + QDir::separator();
    const QStringList targets{down + u"a.zip"_s, down + u"b.zip"_s,    down + u"c.zip"_s,  down + u"a (2).zip"_s,
                              down + u"e.zip"_s, down + u"root.zip"_s, down + u"abs.zip"_s};
    QStringList active;
    QStringList queued;
    for (int i = 1; i < activas::kSlots; ++i) {
        if (t.active->existe(i))
            active << t.active->entry(i).file;
        if (t.queue->existe(i))
            queued << t.queue->entry(i).file;
    }
    QCOMPARE(active, targets.mid(0, 3));
    QCOMPARE(queued, targets.mid(3));
    // Both lists hold the whole batch once the saves it asked for are done.
    t.active->waitForSaves();
    t.queue->waitForSaves();
    for (const QString &file : targets.mid(0, 3))
        QVERIFY(t.folder.read(u"activas.dwn"_s).contains(file.toLocal8Bit()));
    for (const QString &file : targets.mid(3))
        QVERIFY(t.folder.read(u"inactivas.dwn"_s).contains(file.toLocal8Bit()));
    QCOMPARE(t.queue->entry(1).url, dir + u"sub/a.zip"_s);
    QString log;
    for (const LogEntry &entry : logEntries())
        log += entry.text;
    QVERIFY(log.contains(down + u"a (2).zip"_s));
    QVERIFY(log.contains(u"No se agrega "_s + dir + u"a.zip"_s));

    // The queue continues one download for each that ends.
    const auto arrived = [&] {
        if (t.queue->loadedRows() != 1)
            return false;
        int finished = 0;
        for (int i = 1; i < activas::kSlots; ++i)
            finished += t.active->existe(i) && t.active->indicador(i)->finalizado();
        return finished == targets.size();
    };
    QTRY_VERIFY_WITH_TIMEOUT(arrived(), 60000);
    for (int i = 0; i < sources.size(); ++i)
        QCOMPARE(testing::sha256OfFile(targets[i]), testing::sha256OfFile(served.filePath(sources[i])));
}

// An https page is read over TLS with its certificate verified; one that
// does not prove the server is told by its problem and gives no links.
void TestListado::httpsPageVerified()
{
    if (!QFile::exists(QString::fromLatin1(testing::NginxFixture::kBinary))
        || !QFile::exists(QString::fromLatin1(testing::TestAuthority::kBinary)))
        QSKIP("nginx or openssl is not installed");
    testing::TestAuthority authority;
    QVERIFY2(authority.create(), qPrintable(authority.errorText()));
    QVERIFY2(authority.issue(u"server"_s, {u"DNS:localhost"_s, u"IP:127.0.0.1"_s}), qPrintable(authority.errorText()));
    QTemporaryDir served;
    QVERIFY(testing::writeFile(served.filePath(u"p.html"_s), "<a href=\"a.zip\">a</a> <a href='b.txt'>b</a>"));
    testing::NginxFixture nginx;
    nginx.setTls(authority.certificateFile(u"server"_s), authority.keyFile(u"server"_s));
    QVERIFY2(nginx.start(served.path()), qPrintable(nginx.errorText()));
    const QString page = nginx.url(u"p.html"_s);
    QVERIFY(page.startsWith(u"https://"_s));

    Tables t;
    t.folder.write(u"listado.lst"_s, "zip\r\n");
    listado w(t.active.get(), t.queue.get());
    auto *direcc = child<QLineEdit>(w, u"direcc"_s);
    const auto fetch = [&] {
        direcc->setText(page);
        w.obtener();
        QTRY_VERIFY_WITH_TIMEOUT(!w.busy(), 20000);
    };

    setExtraTrustedCertificates({authority.certificate()});
    fetch();
    setExtraTrustedCertificates({});
    QCOMPARE(items(w, u"si"_s), QStringList{nginx.url(u"a.zip"_s)});
    QCOMPARE(items(w, u"no"_s), QStringList{nginx.url(u"b.txt"_s)});
    QVERIFY2(t.prompts.notices().isEmpty(), qPrintable(t.prompts.notices().join(u'\n')));

    fetch();
    QVERIFY(items(w, u"si"_s).isEmpty());
    QCOMPARE(t.prompts.notices(),
             QStringList{u"El certificado de "_s + QUrl(page).host() + u" no lo firma una autoridad de confianza."_s});
}

// Names from a list file stay in the chosen folder, even when the folder
// is taken without a separator at its end; a full queue stops the batch.
void TestListado::listWindowKeepsNamesInFolder()
{
    Tables t;
    t.settings->setMaxdesc(1);
    for (int i = 0; i < 38; ++i)
        t.queue->addnew(u"http://127.0.0.1:9/q%1"_s.arg(i), t.folder.file(u"q%1"_s.arg(i)), 0, 0, false, 0, true, {},
                        {}, false, false);
    QCOMPARE(t.queue->loadedRows(), 39);

    oldsupport w(t.active.get(), t.queue.get());
    QCOMPARE(child<QLineEdit>(w, u"destdir"_s)->text(), t.down());
    w.setUrl(u"http://127.0.0.1:9/base"_s);
    w.setItems({u"../../evil.zip"_s, u"a/b.zip"_s, u"ok.zip"_s, u"more.zip"_s});
    t.prompts.texts.enqueue(t.down());
    child<QPushButton>(w, u"brdir"_s)->click();
    w.addtolist();
    QCOMPARE(t.prompts.messages(), QStringList{u"Se ha alcanzado el límite de descargas"_s});
    QVERIFY(w.result() != QDialog::Accepted);

    QStringList urls;
    QStringList files;
    const auto take = [&](const DownloadEntry &e) {
        urls << e.url;
        files << e.file;
    };
    for (int i = 1; i < activas::kSlots; ++i) {
        if (t.active->existe(i))
            take(t.active->entry(i));
        if (t.queue->existe(i) && !t.queue->entry(i).url.contains(u"/q"_s))
            take(t.queue->entry(i));
    }
    const QString base = u"http://127.0.0.1:9/base/"_s;
    QCOMPARE(urls, (QStringList{base + u"../../evil.zip"_s, base + u"a/b.zip"_s, base + u"ok.zip"_s}));
    const QString down = t.down() + QDir::separator();
    QCOMPARE(files, (QStringList{down + u"evil.zip"_s, down + u"b.zip"_s, down + u"ok.zip"_s}));
}

QTEST_MAIN(TestListado)
#include "tst_listado.moc"
