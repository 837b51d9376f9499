// Addresses cut out of page text and sorted by their ending.
#include "links/link_scanner.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestLinks : public QObject {
    Q_OBJECT
private slots:
    void scan_data();
    void scan();
    void mainWeb_data();
    void mainWeb();
    void capAndProgress();
    void reportEndsTheScan();
    void failureTexts_data();
    void failureTexts();
    void hostilePagesStayLinear();
};

void TestLinks::scan_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("address");
    QTest::addColumn<ScanMode>("mode");
    QTest::addColumn<QStringList>("ext");
    QTest::addColumn<QStringList>("si");
    QTest::addColumn<QStringList>("no");
    QTest::addColumn<int>("errors");

    const QString index = u"http://h/x/index.html"_s;
    const auto row = [&](const char *name, const QString &page, const QStringList &si, const QStringList &no,
                         int errors = 0, const QString &address = u"http://h/x/index.html"_s,
                         ScanMode mode = ScanMode::LinkOnly, const QStringList &ext = {u"zip"_s}) {
        QTest::newRow(name) << page << address << mode << ext << si << no << errors;
    };

    row("relative, quoted", u"HTTP/1.0 200\r\n<a href=\"dir/f.zip\">"_s, {u"http://h/x/dir/f.zip"_s}, {});
    row("capitals or blanks around = are not tags", u"<A HREF=\"f.zip\"><a href = \"g.zip\">"_s, {}, {});
    row("unquoted ends at a blank", u"<a href=f.zip class=y>"_s, {u"http://h/x/f.zip"_s}, {});
    row("unquoted ends at >", u"<a href=f.zip>t</a>"_s, {u"http://h/x/f.zip"_s}, {});
    row("unquoted ends at <", u"<a href=f.zip<b>"_s, {u"http://h/x/f.zip"_s}, {});
    row("unquoted ends at a quote", u"<a href=f.zip\"x>"_s, {u"http://h/x/f.zip"_s}, {});
    row("one leading slash dropped, page folder kept", u"<a href=\"/f.zip\">"_s, {u"http://h/x/f.zip"_s}, {}, 0,
        u"http://h/x/p.html"_s);
    row("absolute https kept", u"<a href=\"https://o/f.zip\">"_s, {u"https://o/f.zip"_s}, {});
    row("only one slash dropped", u"<a href=\"//f.zip\">"_s, {u"http://h/x//f.zip"_s}, {});
    row("dot-dot folded", u"<a href=\"../f.zip\">"_s, {u"http://h/x/f.zip"_s}, {}, 0, u"http://h/x/y/p.html"_s);
    row("absolute addresses kept", u"<a href=\"http://o/a.zip\"><a href=\"ftp://o/b.txt\">"_s, {u"http://o/a.zip"_s},
        {u"ftp://o/b.txt"_s});
    row("mail link completed like any other", u"<a href=\"mailto:me@h\">"_s, {}, {u"http://h/x/mailto:me@h"_s});
    row("empty extension list", u"<a href=\"f.zip\">"_s, {}, {u"http://h/x/f.zip"_s}, 0, index, ScanMode::LinkOnly, {});
    row("item without dot matches any ending", u"<a href=\"backupzip\"><a href=\"F.ZIP\">"_s,
        {u"http://h/x/backupzip"_s}, {u"http://h/x/F.ZIP"_s});
    row("item with dot", u"<a href=\"backupzip\"><a href=\"f.zip\">"_s, {u"http://h/x/f.zip"_s},
        {u"http://h/x/backupzip"_s}, 0, index, ScanMode::LinkOnly, {u".zip"_s});
    row("repeats listed each time", u"<a href=f.zip> <a href=f.zip> <a href=f.zip>"_s,
        {u"http://h/x/f.zip"_s, u"http://h/x/f.zip"_s, u"http://h/x/f.zip"_s}, {});

    const QString mixed = u"<img src=\"a.gif\"><a href=\"b.zip\"><img src=\"c.gif\">"_s;
    const QStringList zipGif{u"zip"_s, u"gif"_s};
    row("links only", mixed, {u"http://h/x/b.zip"_s}, {}, 0, index, ScanMode::LinkOnly, zipGif);
    row("images only", mixed, {u"http://h/x/a.gif"_s, u"http://h/x/c.gif"_s}, {}, 0, index, ScanMode::ImageOnly,
        zipGif);
    row("links first, then images", mixed, {u"http://h/x/b.zip"_s, u"http://h/x/a.gif"_s, u"http://h/x/c.gif"_s}, {}, 0,
        index, ScanMode::LinkAndImage, zipGif);

    // Values of one character or none end at their own delimiter.
    row("one-character quoted value", u"<a href=\"a\"><a href=\"f.zip\">"_s, {u"http://h/x/f.zip"_s},
        {u"http://h/x/a"_s});
    row("empty quoted value", u"<a href=\"\"><a href=\"f.zip\">"_s, {u"http://h/x/f.zip"_s}, {u"http://h/x/"_s});
    row("one-character unquoted value", u"<a href=a><a href=f.zip>"_s, {u"http://h/x/f.zip"_s}, {u"http://h/x/a"_s});
    row("tag at the first character", u"a href=\"f.zip\""_s, {u"http://h/x/f.zip"_s}, {});
    row("address without a path", u"<a href=\"f.zip\">"_s, {u"http://h/f.zip"_s}, {}, 0, u"http://h"_s);

    // A failure ends that tag's scan only; what was found stays.
    row("unclosed quote, images still scanned", u"<a href=\"ok.zip\"><img src=\"i.gif\"><a href=\"bad.zip"_s,
        {u"http://h/x/ok.zip"_s, u"http://h/x/i.gif"_s}, {}, 1, index, ScanMode::LinkAndImage, zipGif);
    row("unquoted without delimiter", u"<a href=f.zip> <a href=g.zip"_s, {u"http://h/x/f.zip"_s}, {}, 1);
    row("dot-dot above the host", u"<a href=\"../../x\"><a href=\"f.zip\">"_s, {}, {}, 1, u"http://h/p.html"_s);
}

void TestLinks::scan()
{
    QFETCH(QString, page);
    QFETCH(QString, address);
    QFETCH(ScanMode, mode);
    QFETCH(QStringList, ext);
    QFETCH(QStringList, si);
    QFETCH(QStringList, no);
    QFETCH(int, errors);

    LinkLists lists;
    const QStringList failures = getlinks(page, address, mode, ext, lists);
    QCOMPARE(lists.si, si);
    QCOMPARE(lists.no, no);
    QCOMPARE(failures.size(), errors);
    for (const QString &failure : failures)
        QVERIFY(!failure.isEmpty());
}

void TestLinks::mainWeb_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("base");
    QTest::newRow("file") << u"http://h/d/x.html"_s << u"http://h/d/"_s;
    QTest::newRow("folder") << u"http://h/d/"_s << u"http://h/d/"_s;
    QTest::newRow("index.html") << u"http://h/d/index.html"_s << u"http://h/d/"_s;
    QTest::newRow("encoded blank") << u"http://h/d/a%20b.html"_s << u"http://h/d/"_s;
    QTest::newRow("host only") << u"http://h"_s << u"http://h/"_s;
}

void TestLinks::mainWeb()
{
    QFETCH(QString, address);
    QFETCH(QString, base);
    QCOMPARE(GetMainWeb(address), base);
}

// Lists are appended to, never cleared; the total is capped across both.
void TestLinks::capAndProgress()
{
    QString page;
    for (int i = 0; i < 40000; ++i)
        page += u"<a href=f.zip>"_s;
    LinkLists lists;
    lists.no.append(u"earlier"_s);
    QList<qsizetype> reports;
    const ScanProgress progress{[&reports](qsizetype total) {
                                    reports.append(total);
                                    return true;
                                },
                                10000};
    const QStringList failures = getlinks(page, u"http://h/"_s, ScanMode::LinkOnly, {u"zip"_s}, lists, progress);
    QCOMPARE(lists.total(), kMaxAddresses);
    QCOMPARE(lists.no.first(), u"earlier"_s);
    QCOMPARE(failures.size(), 1);
    QCOMPARE(reports, (QList<qsizetype>{10001, 20001, 30001}));
    QCOMPARE(foundText(12), u"12 direcciones encontradas"_s);
}

// A report that answers false (the window closed) ends the scan where it
// is: no error, and the other tag is not scanned.
void TestLinks::reportEndsTheScan()
{
    const QString page = u"<a href=a.zip> <a href=b.zip> <a href=c.zip> <a href=\"../../../x\"> <img src=i.gif>"_s;
    LinkLists lists;
    qsizetype reports = 0;
    const ScanProgress progress{[&reports](qsizetype total) { return ++reports < 2 && total < 100; }, 1};
    const QStringList failures = getlinks(page, u"http://h/"_s, ScanMode::LinkAndImage, {u"zip"_s}, lists, progress);
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
    QCOMPARE(reports, 2);
    QCOMPARE(lists.no, QStringList{});
    QCOMPARE(lists.si, (QStringList{u"http://h/a.zip"_s, u"http://h/b.zip"_s}));
}

// What ends a scan is shown to the user as it is, in Spanish.
void TestLinks::failureTexts_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("failure");
    QTest::newRow("above the host") << u"<a href=\"../../x\">"_s
                                    << u"Dirección incorrecta («..» antes del primer segmento de la dirección): "
                                       u"http://h/../../x"_s;
    const QString deep = u"s/"_s.repeated(300);
    QTest::newRow("too deep") << u"<a href=\""_s + deep + u"\">"_s
                              << u"Dirección incorrecta (la dirección tiene demasiados segmentos): http://h/s/s/"_s;
}

void TestLinks::failureTexts()
{
    QFETCH(QString, page);
    QFETCH(QString, failure);
    LinkLists lists;
    const QStringList failures = getlinks(page, u"http://h/p.html"_s, ScanMode::LinkOnly, {}, lists);
    QCOMPARE(failures.size(), 1);
    QVERIFY2(failures.first().startsWith(failure), qPrintable(failures.first()));
    QCOMPARE(lists.total(), 0);
}

// Pages built so that searching each delimiter over the rest of the text, or
// re-reading a long value, would take hours.
void TestLinks::hostilePagesStayLinear()
{
    QElapsedTimer timer;
    timer.start();

    // Thousands of links, then megabytes in which three of the delimiters never occur.
    QString page;
    for (int i = 0; i < 30000; ++i)
        page += u"<a href=f.zip "_s;
    page += QString(8'000'000, u'y');
    LinkLists lists;
    QCOMPARE(getlinks(page, u"http://h/"_s, ScanMode::LinkAndImage, {u"zip"_s}, lists).size(), 0);
    QCOMPARE(lists.si.size(), 30000);

    // One value of megabytes, and one that never closes.
    const QString huge = u"<a href=\""_s + QString(8'000'000, u'v') + u"\"><img src=\""_s + QString(8'000'000, u'w');
    LinkLists one;
    QCOMPARE(getlinks(huge, u"http://h/"_s, ScanMode::LinkAndImage, {u"zip"_s}, one).size(), 1);
    QCOMPARE(one.no.size(), 1);
    QCOMPARE(one.no.first().size(), 8'000'000 + 9);

    // A million tags back to back stop at the cap.
    LinkLists none;
    const QString tags = QString(u"a href="_s).repeated(1'000'000);
    QCOMPARE(getlinks(tags, u"http://h/"_s, ScanMode::LinkOnly, {}, none).size(), 1);
    QCOMPARE(none.total(), kMaxAddresses);

    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
}

QTEST_MAIN(TestLinks)
#include "tst_links.moc"
