#include "core/program_folder.h"
#include "core/url.h"
#include "engine/get_host.h"
#include "platform/actions.h"
#include "scripted_prompts.h"

#include <QComboBox>
#include <QTest>

using namespace Qt::StringLiterals;

class TestUrl : public QObject {
    Q_OBJECT

private slots:
    void host_data();
    void host();
    void badHost_data();
    void badHost();
    void path_data();
    void path();
    void fileName_data();
    void fileName();
    void port_data();
    void port();
    void hostLine_data();
    void hostLine();
    void normalize_data();
    void normalize();
    void normalizeRejects_data();
    void normalizeRejects();
    void extension_data();
    void extension();
    void passiveReply_data();
    void passiveReply();
    void freeIndex_data();
    void freeIndex();
    void notInList();
};

void TestUrl::host_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("host");
    QTest::newRow("ftp") << u"ftp://host/pub/x.tgz"_s << u"host"_s;
    QTest::newRow("port") << u"http://host:8080/a/b"_s << u"host"_s;
    QTest::newRow("port, no path") << u"http://host:8080"_s << u"host"_s;
    QTest::newRow("https") << u"https://host:8443/a"_s << u"host"_s;
    QTest::newRow("no path") << u"http://host"_s << u"host"_s;
    QTest::newRow("colon in path") << u"http://host/a:b/c"_s << u"host/a"_s;
}

void TestUrl::host()
{
    QFETCH(QString, url);
    QFETCH(QString, host);
    testing::ScriptedPrompts prompts;
    QCOMPARE(GetHost(url), host);
    QCOMPARE(hostOf(url), std::optional<QString>(host));
    QVERIFY(prompts.asked.isEmpty());
}

void TestUrl::badHost_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("other scheme") << u"gopher://host/x"_s;
    QTest::newRow("no scheme") << u"host/x"_s;
    QTest::newRow("upper-case scheme") << u"HTTP://host/x"_s;
    QTest::newRow("empty") << QString();
}

void TestUrl::badHost()
{
    QFETCH(QString, url);
    testing::ScriptedPrompts prompts;
    QVERIFY(!hostOf(url));
    QVERIFY(prompts.asked.isEmpty());
    QCOMPARE(GetHost(url), u"ERROR"_s);
    QCOMPARE(GetHost(url), u"ERROR"_s);
    QCOMPARE(prompts.messages(), QStringList({u"Dirección incorrecta."_s, u"Dirección incorrecta."_s}));
    QCOMPARE(prompts.asked.size(), 2);
    QCOMPARE(prompts.asked[0].icon, platform::Icon::Critical);
    QCOMPARE(prompts.asked[0].caption, platform::programTitle());
}

void TestUrl::path_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("path");
    QTest::newRow("file") << u"http://h/a/b.zip"_s << u"a/b.zip"_s;
    QTest::newRow("ftp") << u"ftp://host/pub/x.tgz"_s << u"pub/x.tgz"_s;
    QTest::newRow("port") << u"http://host:8080/a/b"_s << u"a/b"_s;
    QTest::newRow("root slash") << u"http://h/"_s << QString();
    QTest::newRow("no slash") << u"http://h"_s << u"/"_s;
    QTest::newRow("trailing slash") << u"http://host/dir/"_s << u"dir/"_s;
    QTest::newRow("query kept") << u"http://h/get?f=a/b"_s << u"get?f=a/b"_s;
}

void TestUrl::path()
{
    QFETCH(QString, url);
    QFETCH(QString, path);
    QCOMPARE(GetPath(url), path);
}

void TestUrl::fileName_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("name");
    QTest::newRow("file") << u"http://h/dir/file.zip"_s << u"file.zip"_s;
    QTest::newRow("ftp") << u"ftp://host/pub/x.tgz"_s << u"x.tgz"_s;
    QTest::newRow("root") << u"http://h/"_s << u"index.html"_s;
    QTest::newRow("folder") << u"http://host/dir/"_s << u"index.html"_s;
    QTest::newRow("no path") << u"http://host"_s << u"host"_s;
    QTest::newRow("no slashes") << u"host/file.zip"_s << u"index.html"_s;
    QTest::newRow("%20") << u"http://h/my%20file%20.txt"_s << u"my file .txt"_s;
    QTest::newRow("other escapes stay") << u"http://h/a%41b%2Fc"_s << u"a%41b%2Fc"_s;
    QTest::newRow("query stays") << u"http://h/get.php?id=3"_s << u"get.php?id=3"_s;
    // Names must stay inside the chosen folder.
    QTest::newRow("dot-dot") << u"http://h/dir/.."_s << u"index.html"_s;
    QTest::newRow("dot") << u"http://h/."_s << u"index.html"_s;
    QTest::newRow("leading slash") << u"http://h//x"_s << u"_x"_s;
    QTest::newRow("backslashes") << u"http://h/a\\..\\..\\evil.exe"_s << u"a_.._.._evil.exe"_s;
    QTest::newRow("backslash dot-dot") << u"http://h/x/..\\"_s << u".._"_s;
}

void TestUrl::fileName()
{
    QFETCH(QString, url);
    QFETCH(QString, name);
    QCOMPARE(GetFileName(url), name);
}

void TestUrl::port_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("port");
    QTest::newRow("ftp") << u"ftp://host/pub/x.tgz"_s << 21;
    QTest::newRow("http") << u"http://host/a"_s << 80;
    QTest::newRow("given") << u"http://host:8080/a/b"_s << 8080;
    QTest::newRow("given, no path") << u"http://host:8080"_s << 8080;
    QTest::newRow("ftp given") << u"ftp://host:2121/x"_s << 2121;
    QTest::newRow("no slashes") << u"host:99"_s << 80;
    QTest::newRow("https") << u"https://host/a"_s << 443;
    QTest::newRow("https given") << u"https://host:8443/a"_s << 8443;
    QTest::newRow("unknown scheme") << u"gopher://host/a"_s << 0;
    QTest::newRow("blanks before digits") << u"http://h:  81/x"_s << 81;
    QTest::newRow("digits then junk") << u"http://h:81x/y"_s << 81;
    QTest::newRow("no digits") << u"http://h:abc/"_s << 0;
    QTest::newRow("colon in path") << u"http://h/a:b/c"_s << 0;
    QTest::newRow("highest") << u"http://h:65535/"_s << 65535;
    QTest::newRow("too large does not wrap") << u"http://h:65616/"_s << 0;
}

void TestUrl::port()
{
    QFETCH(QString, url);
    QFETCH(int, port);
    QCOMPARE(int(GetPort(url)), port);
}

void TestUrl::hostLine_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("http default") << u"http://h/x"_s << QByteArray("h");
    QTest::newRow("http other") << u"http://h:8080/x"_s << QByteArray("h:8080");
    QTest::newRow("http on 443") << u"http://h:443/x"_s << QByteArray("h:443");
    QTest::newRow("https default") << u"https://h/x"_s << QByteArray("h");
    QTest::newRow("https 443 given") << u"https://h:443/x"_s << QByteArray("h");
    QTest::newRow("https on 80") << u"https://h:80/x"_s << QByteArray("h:80");
}

void TestUrl::hostLine()
{
    QFETCH(QString, url);
    QFETCH(QByteArray, line);
    testing::ScriptedPrompts prompts;
    QCOMPARE(::hostLine(GetHost(url), GetPort(url), url.startsWith(u"https://"_s)), line);
}

void TestUrl::normalize_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("normal");
    QTest::newRow("dot-dot") << u"http://h/a/./b/../c"_s << u"http://h/a/./c"_s;
    QTest::newRow("two dot-dots") << u"http://h/a/b/../../c"_s << u"http://h/c"_s;
    QTest::newRow("removes the host") << u"http://h/../x"_s << u"http://x"_s;
    QTest::newRow("ftp") << u"ftp://h/a/../b"_s << u"ftp://h/b"_s;
    QTest::newRow("trailing slash") << u"http://h/a/"_s << u"http://h/a/"_s;
    QTest::newRow("no prefix") << u"h/a/../b"_s << u"h/b"_s;
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("256 segments") << (u"http://h"_s + u"/s"_s.repeated(255)) << (u"http://h"_s + u"/s"_s.repeated(255));
}

void TestUrl::normalize()
{
    QFETCH(QString, url);
    QFETCH(QString, normal);
    NormalizeUrl(url);
    QCOMPARE(url, normal);
}

void TestUrl::normalizeRejects_data()
{
    QTest::addColumn<QString>("url");
    // The reason is shown to the user, so it is Spanish.
    QTest::addColumn<QString>("reason");
    const QString tooMany = u"la dirección tiene demasiados segmentos"_s;
    const QString climbs = u"«..» antes del primer segmento de la dirección"_s;
    QTest::newRow("257 segments") << u"http://h"_s + u"/s"_s.repeated(256) << tooMany;
    QTest::newRow("before the host") << u"http://h/../../x"_s << climbs;
    QTest::newRow("first segment") << u"../x"_s << climbs;
}

void TestUrl::normalizeRejects()
{
    QFETCH(QString, url);
    QFETCH(QString, reason);
    const QString before = url;
    QVERIFY_THROWS_EXCEPTION(UrlError, NormalizeUrl(url));
    QCOMPARE(url, before);
    try {
        NormalizeUrl(url);
    } catch (const UrlError &e) {
        QCOMPARE(QString::fromUtf8(e.what()), reason);
    }
}

void TestUrl::extension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");
    QTest::newRow("last dot") << u"a.b.zip"_s << u"zip"_s;
    QTest::newRow("leading dot") << u".profile"_s << u".profile"_s;
    QTest::newRow("no dot") << u"README"_s << QString();
    QTest::newRow("trailing dot") << u"file."_s << QString();
}

void TestUrl::extension()
{
    QFETCH(QString, name);
    QFETCH(QString, extension);
    QCOMPARE(GetExtension(name), extension);
}

void TestUrl::passiveReply_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::newRow("usual") << u"10,0,0,5,19,137"_s << u"10.0.0.5"_s << 5001;
    QTest::newRow("blanks") << u" 192, 168,1,2, 0 ,21"_s << u"192.168.1.2"_s << 21;
    QTest::newRow("eight numbers") << u"1,2,3,4,5,6,7,8"_s << u"1.2.3.4.5.6"_s << 7 * 256 + 8;
    QTest::newRow("three numbers") << u"9,1,2"_s << u"9"_s << 258;
    QTest::newRow("two numbers") << u"1,2"_s << QString() << 0;
    QTest::newRow("empty") << QString() << QString() << 0;
    QTest::newRow("nine numbers") << u"1,2,3,4,5,6,7,8,9"_s << QString() << 0;
    QTest::newRow("port out of range") << u"1,2,3,4,300,0"_s << u"1.2.3.4"_s << 0;
}

void TestUrl::passiveReply()
{
    QFETCH(QString, text);
    QFETCH(QString, address);
    QFETCH(int, port);
    QString gotAddress = u"stale"_s;
    int gotPort = -1;
    const QString last = text.mid(text.lastIndexOf(u',') + 1);
    ParsePassiveReply(text, gotAddress, gotPort);
    QCOMPARE(gotAddress, address);
    QCOMPARE(gotPort, port);
    QCOMPARE(text, last); // the text is consumed up to its last piece
}

void TestUrl::freeIndex_data()
{
    QTest::addColumn<QList<bool>>("loaded");
    QTest::addColumn<int>("index");
    QTest::newRow("template only") << QList<bool>{true} << 1;
    QTest::newRow("gap") << QList<bool>{true, true, true, false, true} << 3;
    QTest::newRow("unloaded first") << QList<bool>{true, false, true} << 1;
    QTest::newRow("all loaded") << QList<bool>{true, true, true} << 3;
    QTest::newRow("empty") << QList<bool>{} << 1;
}

void TestUrl::freeIndex()
{
    QFETCH(QList<bool>, loaded);
    QFETCH(int, index);
    QCOMPARE(actions::FreeIndex(loaded), index);
}

void TestUrl::notInList()
{
    QComboBox combo;
    QVERIFY(actions::NotInList(u"http://a/x"_s, &combo));
    combo.addItems({u"http://a/x"_s, u"http://b/y"_s});
    QVERIFY(!actions::NotInList(u"http://b/y"_s, &combo));
    QVERIFY(actions::NotInList(u"http://b/y/"_s, &combo));
    QCOMPARE(combo.count(), 2);
}

QTEST_MAIN(TestUrl)
#include "tst_url.moc"
