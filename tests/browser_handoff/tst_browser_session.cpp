// What of the browser's session goes with which request, and how it travels
// from the browser's host to the running copy.
#include "core/active_table.h"
#include "core/browser_marks.h"
#include "core/browser_session.h"
#include "core/command_line.h"
#include "core/http_request.h"
#include "core/program_folder.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TstBrowserSession : public QObject {
    Q_OBJECT
private slots:
    void headersFollowTheSite_data();
    void headersFollowTheSite();
    void requestCarriesTheSession();
    void handOffDownloads_data();
    void handOffDownloads();
    void oldHandOffStillRead();
    void answersRoundTrip();
    void sessionsFoundByFileAndAddress();
    void marksFile_data();
    void marksFile();
    void listsNeverHoldTheSession();
};

void TstBrowserSession::headersFollowTheSite_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("request");
    QTest::addColumn<bool>("sent");

    QTest::newRow("the link itself") << u"https://dl.example.com/f.zip"_s << u"https://dl.example.com/f.zip"_s << true;
    QTest::newRow("same host, other port") << u"http://example.com/f"_s << u"http://example.com:8080/g"_s << true;
    QTest::newRow("host in capitals") << u"http://example.com/f"_s << u"http://EXAMPLE.com./g"_s << true;
    QTest::newRow("sibling subdomain") << u"https://dl.example.com/f"_s << u"https://cdn.example.com/f"_s << true;
    QTest::newRow("parent domain") << u"https://dl.example.com/f"_s << u"https://example.com/f"_s << true;
    QTest::newRow("under a two-label host") << u"https://example.com/f"_s << u"https://cdn.example.com/f"_s << true;
    QTest::newRow("another site") << u"https://dl.example.com/f"_s << u"https://mirror.other.net/f"_s << false;
    QTest::newRow("a look-alike suffix") << u"https://example.com/f"_s << u"https://badexample.com/f"_s << false;
    QTest::newRow("top-level domain alone") << u"https://dl.example.com/f"_s << u"https://com/f"_s << false;
    QTest::newRow("public suffix sibling") << u"https://shop.co.uk/f"_s << u"https://evil.co.uk/f"_s << false;
    QTest::newRow("hosted pages sibling") << u"https://a.github.io/f"_s << u"https://b.github.io/f"_s << false;
    QTest::newRow("https down to http") << u"https://example.com/f"_s << u"http://example.com/f"_s << false;
    QTest::newRow("http up to https") << u"http://example.com/f"_s << u"https://example.com/f"_s << true;
    QTest::newRow("redirect to ftp") << u"http://example.com/f"_s << u"ftp://example.com/f"_s << false;
    QTest::newRow("same address") << u"http://127.0.0.1:8080/f"_s << u"http://127.0.0.1:9090/g"_s << true;
    QTest::newRow("other address") << u"http://127.0.0.1/f"_s << u"http://127.0.0.2/f"_s << false;
    QTest::newRow("address's neighbour") << u"http://10.0.0.1/f"_s << u"http://1.0.0.1/f"_s << false;
}

void TstBrowserSession::headersFollowTheSite()
{
    QFETCH(QString, link);
    QFETCH(QString, request);
    QFETCH(bool, sent);
    const BrowserSession session{link, u"https://example.com/page.html"_s, u"sid=42; theme=dark"_s};
    const SessionHeaders h = sessionHeaders(session, request);
    QCOMPARE(h.cookie, sent ? QByteArray("sid=42; theme=dark") : QByteArray());
    QCOMPARE(h.referer, sent ? QByteArray("https://example.com/page.html") : QByteArray());
}

void TstBrowserSession::requestCarriesTheSession()
{
    RangeRequest r{u"example.com"_s, 80, false, u"f.zip"_s, 0, -1, {}, "sid=42", "http://example.com/page"};
    QByteArray bytes = rangeRequestBytes(r);
    QVERIFY(bytes.contains("\r\nCookie: sid=42\r\n"));
    QVERIFY(bytes.contains("\r\nReferer: http://example.com/page\r\n"));
    QVERIFY(bytes.endsWith("\r\n\r\n"));

    // A value that would end the header and start another goes out not at all.
    r.cookie = "sid=42\r\nX-Evil: 1";
    r.referer = "http://example.com/\nX-Evil: 1";
    bytes = rangeRequestBytes(r);
    QVERIFY(!bytes.contains("X-Evil"));
    QVERIFY(!bytes.contains("Cookie:"));

    // A session whose values are not one line is never turned into headers.
    const BrowserSession bad{u"http://example.com/f"_s, u"http://example.com/\r\nX: 1"_s, u"a=1\nX: 2"_s};
    QCOMPARE(sessionHeaders(bad, u"http://example.com/f"_s), SessionHeaders{});

    // No session: the request is the one every other download sends.
    QCOMPARE(sessionHeaders({}, u"http://example.com/f"_s), SessionHeaders{});
}

void TstBrowserSession::handOffDownloads_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<bool>("read");

    QTest::newRow("full") << QByteArray(
        R"({"descargas":[{"direccion":"https://h/f.zip","nombre":"f.zip","referente":"https://h/p","cookies":"a=1"}]})")
                          << true;
    QTest::newRow("address alone") << QByteArray(R"({"descargas":[{"direccion":"http://h/f"}]})") << true;
    QTest::newRow("unknown fields ignored")
        << QByteArray(R"({"descargas":[{"direccion":"http://h/f","tamaño":5}],"otro":true})") << true;
    QTest::newRow("no address") << QByteArray(R"({"descargas":[{"nombre":"f"}]})") << false;
    QTest::newRow("address of another scheme")
        << QByteArray(R"({"descargas":[{"direccion":"file:///etc/passwd"}]})") << false;
    QTest::newRow("address as a number") << QByteArray(R"({"descargas":[{"direccion":5}]})") << false;
    QTest::newRow("cookies as a list") << QByteArray(R"({"descargas":[{"direccion":"http://h/f","cookies":["a=1"]}]})")
                                       << false;
    QTest::newRow("cookies with a line break")
        << QByteArray(R"({"descargas":[{"direccion":"http://h/f","cookies":"a=1\r\nX: 1"}]})") << false;
    QTest::newRow("referrer of a script")
        << QByteArray(R"({"descargas":[{"direccion":"http://h/f","referente":"javascript:x"}]})") << false;
    QTest::newRow("downloads not a list") << QByteArray(R"({"descargas":{"direccion":"http://h/f"}})") << false;
    QTest::newRow("a download not an object") << QByteArray(R"({"descargas":["http://h/f"]})") << false;
    QTest::newRow("empty list") << QByteArray(R"({"descargas":[]})") << false;
}

void TstBrowserSession::handOffDownloads()
{
    QFETCH(QByteArray, message);
    QFETCH(bool, read);
    const HandOff h = decodeHandOff(message);
    QCOMPARE(h.error.isEmpty(), read);
    QCOMPARE(h.downloads.isEmpty(), !read);
}

void TstBrowserSession::oldHandOffStillRead()
{
    // What an older second start sends is read as before.
    const HandOff old = decodeHandOff(R"({"direcciones":["http://h/a"],"lista":"/tmp/l.lst"})");
    QVERIFY(old.error.isEmpty());
    QCOMPARE(old.addresses, QStringList{u"http://h/a"_s});
    QVERIFY(old.downloads.isEmpty());

    // The browser's message comes back as it went, its session bound to its address.
    BrowserDownload d;
    d.address = u"https://h/f.zip"_s;
    d.fileName = u"informe final.zip"_s;
    d.session = {d.address, u"https://h/p"_s, u"a=1; b=2"_s};
    const HandOff h = decodeHandOff(encodeBrowserHandOff({d}));
    QVERIFY2(h.error.isEmpty(), qPrintable(h.error));
    QCOMPARE(h.downloads.size(), 1);
    QCOMPARE(h.downloads[0].address, d.address);
    QCOMPARE(h.downloads[0].fileName, d.fileName);
    QCOMPARE(h.downloads[0].session.url, d.address);
    QCOMPARE(h.downloads[0].session.referrer, d.session.referrer);
    QCOMPARE(h.downloads[0].session.cookies, d.session.cookies);
    // A waiting sender ends its message with a line break: none may be inside.
    QVERIFY(!encodeBrowserHandOff({d}).contains('\n'));
}

void TstBrowserSession::answersRoundTrip()
{
    const QList<HandOffAnswer> answers{{u"http://h/a"_s, true, {}},
                                       {u"http://h/b"_s, false, u"Ya se ha superado el máximo de descargas."_s}};
    QString error;
    QCOMPARE(decodeHandOffAnswers(encodeHandOffAnswers(answers), &error), answers);
    QVERIFY(error.isEmpty());
    const QByteArray wordNotTruth = R"({"resultados":[{"direccion":"http://h/a","aceptada":"sí"}]})";
    QVERIFY(decodeHandOffAnswers(wordNotTruth, &error).isEmpty());
    QVERIFY(!error.isEmpty());
    error.clear();
    QVERIFY(decodeHandOffAnswers("no", &error).isEmpty());
    QVERIFY(!error.isEmpty());
}

void TstBrowserSession::sessionsFoundByFileAndAddress()
{
    BrowserSessions sessions;
    const BrowserSession s{u"http://h/f"_s, u"http://h/p"_s, u"a=1"_s};
    sessions.remember(u"/tmp/x/../f.zip"_s, s);
    QCOMPARE(sessions.find(u"/tmp/f.zip"_s, u"http://h/f"_s).cookies, s.cookies);
    // The same file from another address is another download.
    QVERIFY(sessions.find(u"/tmp/f.zip"_s, u"http://h/g"_s).isEmpty());
    sessions.forget(u"/tmp/f.zip"_s);
    QVERIFY(sessions.find(u"/tmp/f.zip"_s, u"http://h/f"_s).isEmpty());
}

void TstBrowserSession::marksFile_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("one a line") << QByteArray("/d/a.zip\n/d/b c.iso\n") << QStringList{u"/d/a.zip"_s, u"/d/b c.iso"_s};
    QTest::newRow("written elsewhere with CRLF") << QByteArray("/d/a.zip\r\n\r\n") << QStringList{u"/d/a.zip"_s};
    QTest::newRow("accents") << QByteArray("/d/canci\xc3\xb3n.mp3\n") << QStringList{u"/d/canción.mp3"_s};
    QTest::newRow("empty") << QByteArray() << QStringList{};
}

void TstBrowserSession::marksFile()
{
    QFETCH(QByteArray, stored);
    QFETCH(QStringList, files);
    const QSet<QString> read = decodeBrowserMarks(stored);
    QCOMPARE(read, QSet<QString>(files.begin(), files.end()));
    QCOMPARE(decodeBrowserMarks(encodeBrowserMarks(read)), read);
    // A name with a line break would read back as two marks: it is left out.
    QSet<QString> broken = read;
    broken.insert(u"/d/x\n/d/y"_s);
    QCOMPARE(decodeBrowserMarks(encodeBrowserMarks(broken)), read);
}

// The cookies and the page go with the requests, never into activas.dwn or
// any other file; what survives is the mark that the download had them,
// until it leaves the table.
void TstBrowserSession::listsNeverHoldTheSession()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    platform::setProgramFolder(folder.path());
    // A server that takes the request and never answers: the download stays.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QByteArray request;
    connect(&server, &QTcpServer::newConnection, this, [&] {
        QTcpSocket *s = server.nextPendingConnection();
        connect(s, &QTcpSocket::readyRead, this, [s, &request] { request += s->readAll(); });
    });

    ActiveTable table;
    SettingsValues settings;
    settings.connections = 1;
    table.setSettings([&] { return settings; });
    table.load();
    DownloadEntry e;
    e.url = u"http://127.0.0.1:%1/informe.zip"_s.arg(server.serverPort());
    e.file = folder.filePath(u"informe.zip"_s);
    const QString referrer = u"http://127.0.0.1/pagina-privada.html"_s;
    browserSessions().remember(e.file, {e.url, referrer, u"secreto=s3cr3t-42"_s});
    const int slot = table.add(e).slot;
    QVERIFY(slot > 0);
    QTRY_VERIFY(request.contains("\r\n\r\n"));
    QVERIFY2(request.contains("\r\nCookie: secreto=s3cr3t-42\r\n"), request.constData());

    QCOMPARE(table.saveNow(), QString());
    const QByteArray list = [&] {
        QFile f(platform::programFile(u"activas.dwn"_s));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    QVERIFY(list.contains(e.url.toUtf8()));
    for (const QString &name : QDir(folder.path()).entryList(QDir::Files)) {
        QFile f(folder.filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY2(!bytes.contains("s3cr3t") && !bytes.contains("pagina-privada"), qPrintable(name));
    }
    // What a restart reads back: the download had a session, not which.
    BrowserMarks restarted;
    restarted.keepIn(platform::programFile(u"sesiones.lst"_s));
    QVERIFY(restarted.has(e.file));

    table.remove(slot, false);
    QVERIFY(browserSessions().find(e.file, e.url).isEmpty());
    BrowserMarks after;
    after.keepIn(platform::programFile(u"sesiones.lst"_s));
    QVERIFY(!after.has(e.file));
    table.waitForSaves();
}

QTEST_GUILESS_MAIN(TstBrowserSession)
#include "tst_browser_session.moc"
