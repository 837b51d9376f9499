// The plan of a batch add: where each address goes and under which name, so
// that no two downloads ever write one file and no name leaves the folder.
#include "links/batch_add.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestBatchAdd : public QObject {
    Q_OBJECT
private slots:
    void plan_data();
    void plan();
    void namesStayInFolder_data();
    void namesStayInFolder();
    void logOneEntryPerReason_data();
    void logOneEntryPerReason();
    void longAddressesShortened();
};

namespace {
const QString kFolder = u"/d/"_s;
}

void TestBatchAdd::plan_data()
{
    QTest::addColumn<QStringList>("urls");
    QTest::addColumn<int>("maxdesc");
    QTest::addColumn<int>("activeRows");
    QTest::addColumn<int>("queueRows");
    QTest::addColumn<bool>("oldsupport");
    QTest::addColumn<QStringList>("tableUrls");
    QTest::addColumn<QStringList>("tableNames");
    // One per step: A/Q + name for an added address, X passed over as a
    // duplicate, I invalid, D dropped silently, F the batch stops.
    QTest::addColumn<QStringList>("expected");

    const QStringList abc{u"http://h/a.zip"_s, u"http://h/b.zip"_s, u"http://h/c.zip"_s};
    const auto row = [](const char *name, const QStringList &urls, int maxdesc, int activeRows, int queueRows,
                        const QStringList &expected, bool old = false, const QStringList &tableUrls = {},
                        const QStringList &tableNames = {}) {
        QTest::newRow(name) << urls << maxdesc << activeRows << queueRows << old << tableUrls << tableNames << expected;
    };

    row("max 3, two running: one more active, then the queue", abc, 3, 3, 1,
        {u"A a.zip"_s, u"Q b.zip"_s, u"Q c.zip"_s});
    row("max + 1 > rows counts the template row", abc, 3, 1, 1, {u"A a.zip"_s, u"A b.zip"_s, u"A c.zip"_s});
    row("queue at 40 rows: dropped silently, the batch goes on", abc, 1, 2, 39, {u"Q a.zip"_s, u"D"_s, u"D"_s});
    row("list window: queue to 41 rows, then it stops", abc, 1, 2, 40, {u"Q a.zip"_s, u"F"_s}, true);
    row("repeated address added once", {u"http://h/a.zip"_s, u"http://h/a.zip"_s, u"http://h/b.zip"_s}, 2, 1, 1,
        {u"A a.zip"_s, u"X"_s, u"A b.zip"_s});
    row("address a table holds takes no place", {u"http://h/a.zip"_s, u"http://h/b.zip"_s}, 1, 1, 1,
        {u"X"_s, u"A b.zip"_s}, false, {u"http://h/a.zip"_s});
    row("target a table writes", {u"http://o/a.zip"_s, u"http://h/b.zip"_s}, 5, 1, 1, {u"X"_s, u"A b.zip"_s}, false, {},
        {u"a.zip"_s});
    row("one name, three addresses",
        {u"http://h/1/f.zip"_s, u"http://h/2/f.zip"_s, u"http://h/3/f.zip"_s, u"http://h/4/readme"_s,
         u"http://h/5/readme"_s},
        1, 2, 1, {u"Q f.zip"_s, u"Q f (2).zip"_s, u"Q f (3).zip"_s, u"Q readme"_s, u"Q readme (2)"_s});
    row("a numbered name a table writes is passed", {u"http://h/1/f.zip"_s, u"http://h/2/f.zip"_s}, 5, 1, 1,
        {u"A f.zip"_s, u"A f (3).zip"_s}, false, {}, {u"f (2).zip"_s});
    row("a dropped address is not told as renamed", {u"http://h/1/f.zip"_s, u"http://h/2/f.zip"_s}, 1, 2, 39,
        {u"Q f.zip"_s, u"D"_s});
    row("https taken, other schemes not", {u"mailto:x"_s, u"https://h/a.zip"_s, u"ftp://h/b.zip"_s}, 1, 1, 1,
        {u"I"_s, u"A a.zip"_s, u"Q b.zip"_s});
}

void TestBatchAdd::plan()
{
    QFETCH(QStringList, urls);
    QFETCH(int, maxdesc);
    QFETCH(int, activeRows);
    QFETCH(int, queueRows);
    QFETCH(bool, oldsupport);
    QFETCH(QStringList, tableUrls);
    QFETCH(QStringList, tableNames);
    QFETCH(QStringList, expected);

    QList<BatchSource> sources;
    for (const QString &url : urls)
        sources.append({url, url.mid(url.lastIndexOf(u'/') + 1)});
    BatchRules rules;
    rules.maxdesc = maxdesc;
    rules.activeRows = activeRows;
    rules.queueRows = queueRows;
    rules.queueRowLimit = oldsupport ? kListQueueRows : kLinkQueueRows;
    rules.stopWhenFull = oldsupport;
    rules.urlTaken = [&](const QString &url) { return tableUrls.contains(url); };
    rules.fileTaken = [&](const QString &file) {
        return file.startsWith(kFolder) && tableNames.contains(file.mid(kFolder.size()));
    };

    const QList<BatchStep> plan = planBatch(sources, kFolder, rules);
    QStringList got;
    for (qsizetype i = 0; i < plan.size(); ++i) {
        const BatchStep &step = plan[i];
        QCOMPARE(step.url, urls[i]);
        switch (step.target) {
        case BatchTarget::Active:
        case BatchTarget::Queue:
            QVERIFY(step.file.startsWith(kFolder));
            got << (step.target == BatchTarget::Active ? u"A "_s : u"Q "_s) + step.file.mid(kFolder.size());
            // A new name is told in the log, naming the file it gets.
            QCOMPARE(!step.note.isEmpty(), step.file != kFolder + sources[i].name);
            if (!step.note.isEmpty()) {
                QVERIFY(step.note.startsWith(u"\r\n"_s));
                QVERIFY(step.note.contains(step.file));
            }
            break;
        case BatchTarget::Duplicate:
        case BatchTarget::Invalid:
            got << (step.target == BatchTarget::Duplicate ? u"X"_s : u"I"_s);
            QVERIFY(step.note.startsWith(u"\r\nNo se agrega "_s + step.url));
            break;
        case BatchTarget::Dropped:
        case BatchTarget::Full:
            got << (step.target == BatchTarget::Dropped ? u"D"_s : u"F"_s);
            QVERIFY(step.note.isEmpty());
            break;
        }
    }
    QCOMPARE(got, expected);
}

void TestBatchAdd::namesStayInFolder_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain name kept as written") << u"a%20b.zip"_s << u"a%20b.zip"_s;
    QTest::newRow("climbing out") << u"../../x.zip"_s << u"x.zip"_s;
    QTest::newRow("sub-folder") << u"a/b.zip"_s << u"b.zip"_s;
    QTest::newRow("backslashes") << u"..\\..\\x.zip"_s << u".._.._x.zip"_s;
    QTest::newRow("dot-dot alone") << u".."_s << u"index.html"_s;
    QTest::newRow("folder only") << u"a/../"_s << u"index.html"_s;
    QTest::newRow("empty") << QString() << u"index.html"_s;
}

void TestBatchAdd::namesStayInFolder()
{
    QFETCH(QString, item);
    QFETCH(QString, name);
    QCOMPARE(itemFileName(item), name);
    // The list window's folder has no separator at its end.
    for (const QString &folder : {u"/d/sub"_s, u"/d/sub/"_s}) {
        const QString file = joinFolder(folder, itemFileName(item));
        QCOMPARE(QFileInfo(file).absolutePath(), u"/d/sub"_s);
        QCOMPARE(QDir::cleanPath(file), u"/d/sub/"_s + name);
    }
}

// Thousands of addresses passed over write a few entries, not one each: the
// log keeps its history and the window does not stall.
void TestBatchAdd::logOneEntryPerReason_data()
{
    QTest::addColumn<QStringList>("urls");
    QTest::addColumn<QStringList>("tableUrls");
    QTest::addColumn<QStringList>("tableNames");
    // Per entry: its start, and whether the addresses it names run on ("…").
    QTest::addColumn<QStringList>("starts");
    QTest::addColumn<QList<bool>>("cut");

    QStringList bad;
    for (int i = 0; i < 3412; ++i)
        bad << u"htp://h/%1"_s.arg(i);
    const QString invalid = u"\r\nNo se han agregado 3412 direcciones incorrectas: "_s;
    QTest::newRow("thousands of wrong addresses")
        << bad << QStringList() << QStringList() << QStringList{invalid} << QList<bool>{true};
    QTest::newRow("one wrong address keeps its own words")
        << QStringList{u"htp://h/a"_s} << QStringList() << QStringList()
        << QStringList{u"\r\nNo se agrega htp://h/a: Dirección incorrecta."_s} << QList<bool>{false};
    QTest::newRow("two, all named") << QStringList{u"x:a"_s, u"x:b"_s} << QStringList() << QStringList()
                                    << QStringList{u"\r\nNo se han agregado 2 direcciones incorrectas: x:a, x:b."_s}
                                    << QList<bool>{false};
    QStringList mixed{u"http://h/1/f.zip"_s, u"http://h/2/f.zip"_s, u"htp://a"_s, u"http://h/t.zip"_s};
    for (int i = 0; i < 50; ++i)
        mixed << u"http://h/listed%1"_s.arg(i) << u"bad%1"_s.arg(i);
    QStringList listed;
    for (int i = 0; i < 50; ++i)
        listed << u"http://h/listed%1"_s.arg(i);
    QTest::newRow("each reason once, renames on their own")
        << mixed << listed << QStringList{u"t.zip"_s}
        << QStringList{u"\r\nSe guarda http://h/2/f.zip como "_s,
                       u"\r\nNo se han agregado 51 direcciones incorrectas: htp://a, bad0, bad1…"_s,
                       u"\r\nNo se han agregado 50 direcciones que ya están en la lista de descargas: "_s,
                       u"\r\nNo se agrega http://h/t.zip: el archivo "_s}
        << QList<bool>{false, true, true, false};
}

void TestBatchAdd::logOneEntryPerReason()
{
    QFETCH(QStringList, urls);
    QFETCH(QStringList, tableUrls);
    QFETCH(QStringList, tableNames);
    QFETCH(QStringList, starts);
    QFETCH(QList<bool>, cut);

    QList<BatchSource> sources;
    for (const QString &url : urls)
        sources.append({url, url.mid(url.lastIndexOf(u'/') + 1)});
    BatchRules rules;
    rules.maxdesc = 100;
    rules.urlTaken = [&](const QString &url) { return tableUrls.contains(url); };
    rules.fileTaken = [&](const QString &file) { return tableNames.contains(file.mid(kFolder.size())); };
    const QStringList entries = batchLog(planBatch(sources, kFolder, rules));
    QCOMPARE(entries.size(), starts.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        QVERIFY2(entries[i].startsWith(starts[i]), qPrintable(entries[i]));
        QCOMPARE(entries[i].endsWith(u'…'), cut[i]);
    }
}

// An address of megabytes is named by its start only.
void TestBatchAdd::longAddressesShortened()
{
    const QString huge = u"x"_s.repeated(1'000'000);
    BatchRules rules;
    const QStringList entries = batchLog(planBatch({{huge, u"a"_s}, {huge + u'y', u"b"_s}}, kFolder, rules));
    QCOMPARE(entries.size(), 1);
    QVERIFY(entries.first().size() < huge.size() / 100);
    QVERIFY(entries.first().contains(u"xxx…, xxx"_s));
}

QTEST_MAIN(TestBatchAdd)
#include "tst_batch_add.moc"
