// The rules of adding downloads: where a new one goes, and what a saved
// link list holds.
#include "main/admission.h"
#include "main/link_list_file.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TstAdding : public QObject {
    Q_OBJECT

private slots:
    void admission_data();
    void admission();
    void linkList_data();
    void linkList();
};

void TstAdding::admission_data()
{
    QTest::addColumn<int>("maxdesc");
    QTest::addColumn<int>("activeRows"); // template row included
    QTest::addColumn<int>("queueRows");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("target");
    const int active = int(AddTarget::Active), queue = int(AddTarget::Queue), refused = int(AddTarget::Refused);
    QTest::newRow("3, one running") << 3 << 2 << 1 << kQuickQueueRows << active;
    QTest::newRow("3, two running: M - 1 is the limit") << 3 << 3 << 1 << kQuickQueueRows << queue;
    QTest::newRow("1: never starts one") << 1 << 1 << 1 << kDialogQueueRows << queue;
    QTest::newRow("quick, 37 queued") << 3 << 3 << 38 << kQuickQueueRows << queue;
    QTest::newRow("quick, 38 queued") << 3 << 3 << 39 << kQuickQueueRows << refused;
    QTest::newRow("dialog, 38 queued") << 3 << 3 << 39 << kDialogQueueRows << queue;
    QTest::newRow("dialog, 39 queued") << 3 << 3 << 40 << kDialogQueueRows << queue;
    QTest::newRow("dialog, 40 queued") << 3 << 3 << 41 << kDialogQueueRows << refused;
}

void TstAdding::admission()
{
    QFETCH(int, maxdesc);
    QFETCH(int, activeRows);
    QFETCH(int, queueRows);
    QFETCH(int, limit);
    QFETCH(int, target);
    QCOMPARE(int(admit(maxdesc, activeRows, queueRows, limit)), target);
}

void TstAdding::linkList_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<bool>("ok");
    QTest::newRow("three fields only") << QByteArray("\"x\",\"http://h/d/\",3\r\n") << u"http://h/d/"_s << QStringList()
                                       << true;
    QTest::newRow("items, each followed by a skipped field")
        << QByteArray("\"x\",\"http://h/d\",2\r\n\"a.zip\",1\r\n\"b, c.zip\",2\r\n") << u"http://h/d"_s
        << QStringList{u"a.zip"_s, u"b, c.zip"_s} << true;
    QTest::newRow("unquoted, blanks, bare LF, no last line end")
        << QByteArray(" x , http://h/ ,0\n  one.bin ,0\ntwo.bin") << u"http://h/"_s
        << QStringList{u"one.bin"_s, u"two.bin"_s} << true;
    QTest::newRow("blank lines between and after the items")
        << QByteArray("\"x\",\"http://h/\",2\r\n\"a.zip\",1\r\n\r\n\"b.zip\",2\r\n\r\n") << u"http://h/"_s
        << QStringList{u"a.zip"_s, u"b.zip"_s} << true;
    QTest::newRow("too short") << QByteArray("\"x\",\"http://h/\"") << QString() << QStringList() << false;
    QTest::newRow("empty") << QByteArray() << QString() << QStringList() << false;
    QTest::newRow("unclosed quote ends the field at the end")
        << QByteArray("x,\"http://h/,1") << u"http://h/,1"_s << QStringList() << false;
    // Refused whole, so the list window never fills with garbage names that
    // would each be logged as a wrong address.
    QByteArray binary("\"x\",\"http://h/\",2\r\n");
    for (int i = 0; i < 4096; ++i)
        binary += char(i * 37 % 256);
    QTest::newRow("binary after a good start") << binary << QString() << QStringList() << false;
    QTest::newRow("one NUL byte") << QByteArray("\"x\",\"http://h/\",2\r\n\"a") + '\0' + QByteArray(".zip\",1\r\n")
                                  << QString() << QStringList() << false;
    QTest::newRow("text without an address")
        << QByteArray("Querida Ana,\r\nte escribo, desde Cádiz, para decirte\r\nque todo va bien.\r\n") << QString()
        << QStringList() << false;
    QTest::newRow("ftp base, a name in an old code page") << QByteArray("\"x\",\"ftp://h/\",1\r\n\"a\xf1o.zip\",1\r\n")
                                                          << u"ftp://h/"_s << QStringList{u"a\ufffdo.zip"_s} << true;
}

void TstAdding::linkList()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, url);
    QFETCH(QStringList, items);
    QFETCH(bool, ok);
    const LinkListFile list = decodeLinkList(bytes);
    QCOMPARE(list.ok(), ok);
    QCOMPARE(list.url, ok ? url : QString());
    QCOMPARE(list.items, items);
    // A refused file is told why in one Spanish sentence.
    QCOMPARE(list.error.isEmpty(), ok);
}

QTEST_MAIN(TstAdding)
#include "tst_adding.moc"
