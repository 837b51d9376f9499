#include "core/list_file.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(ListRecord)

namespace {

QByteArray crlfLines(const QByteArrayList &lines)
{
    QByteArray out;
    for (const QByteArray &line : lines)
        out += line + "\r\n";
    return out;
}

const QByteArrayList kActiveRecord = {"http://h/a.zip", "/d/a.zip", " 1024 ", " 513 ", " 7 ", "True", "", "", "False"};

ListRecord record(const QString &url, qint64 size)
{
    ListRecord r;
    r.url = url;
    r.file = u"/descargas/"_s + url.section(u'/', -1);
    r.size = size;
    r.position = size / 2 + 1;
    r.elapsed = 33;
    r.resumable = true;
    return r;
}

} // namespace

class TestListFile : public QObject {
    Q_OBJECT

private slots:
    void encodeExact_data();
    void encodeExact();
    void number_data();
    void number();
    void roundTrip_data();
    void roundTrip();
    void decode_data();
    void decode();
    void decodeValues();
    void textEncodings_data();
    void textEncodings();
};

void TestListFile::encodeExact_data()
{
    QTest::addColumn<ListRecord>("entry");
    QTest::addColumn<bool>("inactive");
    QTest::addColumn<QByteArray>("bytes");

    ListRecord r;
    r.url = u"http://h/a.zip"_s;
    r.file = u"C:\\d\\a.zip"_s;
    r.size = 1024;
    r.position = 513;
    r.elapsed = 7;
    r.resumable = true;
    r.ftpuser = u"ana"_s;
    r.ftppass = u"se, \"creta\""_s;
    r.remember = true;
    r.locked = true;
    QTest::newRow("active, remembered") << r << false
                                        << QByteArray(
                                               "http://h/a.zip\r\nC:\\d\\a.zip\r\n 1024 \r\n 513 \r\n 7 \r\nTrue\r\n"
                                               "ana\r\nse, \"creta\"\r\nTrue\r\n");
    QTest::newRow("inactive, locked") << r << true
                                      << QByteArray(
                                             "http://h/a.zip\r\nC:\\d\\a.zip\r\n 1024 \r\n 513 \r\n 7 \r\nTrue\r\n"
                                             "ana\r\nse, \"creta\"\r\nTrue\r\nTrue\r\n");

    ListRecord forget = r;
    forget.remember = false;
    forget.resumable = false;
    forget.locked = false;
    QTest::newRow("inactive, credentials not kept")
        << forget << true
        << QByteArray("http://h/a.zip\r\nC:\\d\\a.zip\r\n 1024 \r\n 513 \r\n 7 \r\nFalse\r\n"
                      "\r\n\r\nFalse\r\nFalse\r\n");

    ListRecord broken = forget;
    broken.url = u"http://h/a\r\nb"_s;
    QTest::newRow("line break in a text")
        << broken << false
        << QByteArray("http://h/ab\r\nC:\\d\\a.zip\r\n 1024 \r\n 513 \r\n 7 \r\nFalse\r\n"
                      "\r\n\r\nFalse\r\n");
}

void TestListFile::encodeExact()
{
    QFETCH(ListRecord, entry);
    QFETCH(bool, inactive);
    QFETCH(QByteArray, bytes);
    QCOMPARE(encodeListFile({entry}, inactive ? ListKind::Inactive : ListKind::Active), bytes);
}

void TestListFile::number_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("1024") << qint64(1024) << QByteArray(" 1024 ");
    QTest::newRow("zero") << qint64(0) << QByteArray(" 0 ");
    QTest::newRow("negative") << qint64(-5) << QByteArray("-5 ");
    QTest::newRow("past 32 bits") << qint64(5000000000) << QByteArray(" 5000000000 ");
}

void TestListFile::number()
{
    QFETCH(qint64, value);
    QFETCH(QByteArray, text);
    QCOMPARE(listNumber(value), text);
}

void TestListFile::roundTrip_data()
{
    QTest::addColumn<bool>("inactive");
    QTest::addColumn<QList<ListRecord>>("records");

    ListRecord odd = record(u"http://h/a,b\"c\".zip"_s, 5000000000);
    odd.file = u"/d/\"quoted\", with commas.zip"_s;
    ListRecord ftp = record(u"ftp://srv/pub/año.tgz"_s, 0);
    ftp.position = 0;
    ftp.resumable = false;
    ftp.ftpuser = u"  user, name"_s;
    ftp.ftppass = u"\"pa,ss\" "_s;
    ftp.remember = true;
    ftp.locked = true;
    ListRecord forget = ftp;
    forget.remember = false;
    forget.locked = false;

    QTest::newRow("active") << false << QList<ListRecord>{odd, ftp, forget};
    QTest::newRow("inactive") << true << QList<ListRecord>{odd, ftp, forget};
    QTest::newRow("empty") << false << QList<ListRecord>{};
}

void TestListFile::roundTrip()
{
    QFETCH(bool, inactive);
    QFETCH(QList<ListRecord>, records);
    const ListKind kind = inactive ? ListKind::Inactive : ListKind::Active;
    const ListLoad load = decodeListFile(encodeListFile(records, kind), kind);
    QCOMPARE(load.error, QString());
    QCOMPARE(load.records.size(), records.size());
    for (qsizetype i = 0; i < records.size(); ++i) {
        const ListRecord &want = records[i];
        const ListRecord &got = load.records[i];
        QCOMPARE(got.url, want.url);
        QCOMPARE(got.file, want.file);
        QCOMPARE(got.size, want.size);
        QCOMPARE(got.position, want.position);
        QCOMPARE(got.elapsed, want.elapsed);
        QCOMPARE(got.resumable, want.resumable);
        QCOMPARE(got.remember, want.remember);
        QCOMPARE(got.ftpuser, want.remember ? want.ftpuser : QString());
        QCOMPARE(got.ftppass, want.remember ? want.ftppass : QString());
        QCOMPARE(got.locked, inactive && want.locked);
    }
}

void TestListFile::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("inactive");
    QTest::addColumn<int>("records");
    QTest::addColumn<QString>("errorLine"); // where the error is told; "" for none

    const QByteArray one = crlfLines(kActiveRecord);
    QByteArrayList lf = kActiveRecord;
    QTest::newRow("empty file") << QByteArray() << false << 0 << QString();
    QTest::newRow("two records") << one + one << false << 2 << QString();
    QTest::newRow("bare LF") << QByteArray(lf.join('\n') + '\n') << false << 1 << QString();
    QTest::newRow("no final line end") << one + one.chopped(2) << false << 2 << QString();
    QTest::newRow("active file read as inactive") << one + one << true << 0 << u"línea 10"_s;
    QTest::newRow("cut after line 4") << one + crlfLines(kActiveRecord.mid(0, 4)) << false << 1 << u"línea 13"_s;

    QByteArrayList flags = kActiveRecord;
    flags[5] = "  tRUE ";
    flags[8] = "-1";
    QTest::newRow("flags in any case or numbers") << crlfLines(flags) << false << 1 << QString();

    QByteArrayList badFlag = kActiveRecord;
    badFlag[8] = "Si";
    QTest::newRow("flag neither word nor number") << one + crlfLines(badFlag) + one << false << 2 << u"línea 18"_s;
    QByteArrayList tru = kActiveRecord;
    tru[5] = "Tru";
    QTest::newRow("damaged flags skip only their records")
        << one + crlfLines(tru) + one + crlfLines(badFlag) + one << false << 3 << u"línea 15"_s;
    QByteArrayList emptyFlag = kActiveRecord;
    emptyFlag[5] = "";
    QTest::newRow("empty flag") << crlfLines(emptyFlag) << false << 0 << u"línea 6"_s;
    // A line no address or path can need is a damaged record, not a record.
    QByteArrayList huge = kActiveRecord;
    huge[0] = "http://h/" + QByteArray(10 * 1024 * 1024, 'a');
    QTest::newRow("10 MB line") << one + crlfLines(huge) + one << false << 1 << u"línea 10 es demasiado larga"_s;
}

void TestListFile::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, inactive);
    QFETCH(int, records);
    QFETCH(QString, errorLine);
    const ListLoad load = decodeListFile(bytes, inactive ? ListKind::Inactive : ListKind::Active);
    QCOMPARE(load.records.size(), records);
    if (errorLine.isEmpty()) {
        QCOMPARE(load.error, QString());
    } else {
        QVERIFY2(load.error.contains(errorLine), qPrintable(load.error));
    }
    for (const ListRecord &r : load.records)
        QCOMPARE(r.url, u"http://h/a.zip"_s);
}

void TestListFile::decodeValues()
{
    const QByteArray bytes = crlfLines(
        {" http://h/x, \"y\" ", "/d/x", "   5000000000   ", "\t42", "junk", "0", " u ", "p,\"w\"", "1", "FALSE"});
    const ListLoad load = decodeListFile(bytes, ListKind::Inactive);
    QCOMPARE(load.error, QString());
    QCOMPARE(load.records.size(), 1);
    const ListRecord &r = load.records.first();
    QCOMPARE(r.url, u" http://h/x, \"y\" "_s); // whole line, untouched
    QCOMPARE(r.size, qint64(5000000000));
    QCOMPARE(r.position, qint64(42));
    QCOMPARE(r.elapsed, qint64(0));
    QCOMPARE(r.resumable, false);
    QCOMPARE(r.ftpuser, u" u "_s);
    QCOMPARE(r.ftppass, u"p,\"w\""_s);
    QCOMPARE(r.remember, true);
    QCOMPARE(r.locked, false);
}

void TestListFile::textEncodings_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QString>("read");
    QTest::newRow("UTF-8") << QByteArray("/d/a\xC3\xB1o \xE2\x82\xAC.zip") << u"/d/año €.zip"_s;
    QTest::newRow("Latin-1 of an older list") << QByteArray("/d/a\xF1o.zip") << u"/d/año.zip"_s;
    QTest::newRow("Windows-1252 quotes and euro") << QByteArray("/d/\x93x\x94 \x80.zip") << u"/d/“x” €.zip"_s;
    QTest::newRow("a broken UTF-8 sequence") << QByteArray("/d/\xC3(.zip") << u"/d/Ã(.zip"_s;
}

// A list in the system's old code page keeps its real names, and is written
// back as UTF-8.
void TestListFile::textEncodings()
{
    QFETCH(QByteArray, path);
    QFETCH(QString, read);
    QByteArrayList lines = kActiveRecord;
    lines[1] = path;
    const ListLoad load = decodeListFile(crlfLines(lines), ListKind::Active);
    QCOMPARE(load.error, QString());
    QCOMPARE(load.records.first().file, read);
    QVERIFY(encodeListFile(load.records, ListKind::Active).contains(QByteArray("\r\n" + read.toUtf8() + "\r\n")));

    // Control characters never reach a list line, whatever text holds them.
    ListRecord r = load.records.first();
    r.url = u"http://h/a\rX\tb\x1B"_s;
    QVERIFY(encodeListFile({r}, ListKind::Active).startsWith("http://h/aXb\r\n"));
}

QTEST_MAIN(TestListFile)
#include "tst_list_file.moc"
