#include "main/window_state.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(ViewState)

namespace {

// A state from seven letters in file order: 'S' shown, 'H' hidden.
ViewState state(const char *letters)
{
    bool v[7];
    for (int i = 0; i < 7; ++i)
        v[i] = letters[i] == 'S';
    return ViewState{v[0], v[1], v[2], v[3], v[4], v[5], v[6]};
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

char *toString(const ViewState &s)
{
    const bool v[7] = {s.viewweb,          s.viewhist, s.viewactivas, s.viewinactivas,
                       s.viewestadisticas, s.general,  s.viequickadd};
    QByteArray letters;
    for (bool b : v)
        letters += b ? 'S' : 'H';
    return qstrdup(letters.constData());
}

class TstWindowState : public QObject {
    Q_OBJECT

private slots:
    void viewWinBothWays_data();
    void viewWinBothWays();
    void viewWinDamaged_data();
    void viewWinDamaged();
    void quickListBothWays_data();
    void quickListBothWays();
    void quickListRead_data();
    void quickListRead();
    void quickListLineBreakInsideItem();
};

void TstWindowState::viewWinBothWays_data()
{
    QTest::addColumn<ViewState>("view");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("all shown") << state("SSSSSSS") << hex("ffffffffffffffffffffffffffff");
    QTest::newRow("all hidden") << state("HHHHHHH") << hex("0000000000000000000000000000");
    QTest::newRow("quick-add bar hidden") << state("SSSSSSH") << hex("ffffffffffffffffffffffff0000");
    QTest::newRow("web, table and statistics hidden") << state("HSHSHSS") << hex("0000ffff0000ffff0000ffffffff");
    QTest::newRow("log, queue and toolbar hidden") << state("SHSHSHS") << hex("ffff0000ffff0000ffff0000ffff");
}

void TstWindowState::viewWinBothWays()
{
    QFETCH(ViewState, view);
    QFETCH(QByteArray, bytes);
    QCOMPARE(encodeViewWin(view), bytes);
    QCOMPARE(decodeViewWin(bytes), view);
}

void TstWindowState::viewWinDamaged_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ViewState>("view");
    QTest::newRow("missing (created empty)") << QByteArray() << state("SSSSSSS");
    QTest::newRow("two values") << hex("00000000") << state("HHSSSSS");
    QTest::newRow("last value cut in half") << hex("00000000000000000000000000") << state("HHHHHHS");
    QTest::newRow("odd byte after a value") << hex("0000ff") << state("HSSSSSS");
    QTest::newRow("one, not minus one") << hex("0100000000000000000000000000") << state("SHHHHHH");
    QTest::newRow("high byte only") << hex("0000008000000000000000000000") << state("HSHHHHH");
    QTest::newRow("garbage") << hex("3a00007f0000c2000000ffee0000") << state("SSHSHSH");
    QTest::newRow("longer than 14 bytes") << hex("00000000000000000000000000000000ffffffff") << state("HHHHHHH");
}

void TstWindowState::viewWinDamaged()
{
    QFETCH(QByteArray, bytes);
    QFETCH(ViewState, view);
    QCOMPARE(decodeViewWin(bytes), view);
    // Saved again, the file is whole.
    QCOMPARE(encodeViewWin(decodeViewWin(bytes)).size(), 14);
}

void TstWindowState::quickListBothWays_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty history") << QStringList() << QByteArray();
    QTest::newRow("one") << QStringList{u"http://a.example/x.zip"_s} << QByteArray("http://a.example/x.zip\r\n");
    QTest::newRow("order kept") << QStringList{u"ftp://b/2"_s, u"http://a/1"_s, u"http://c/3"_s}
                                << QByteArray("ftp://b/2\r\nhttp://a/1\r\nhttp://c/3\r\n");
    QTest::newRow("empty item") << QStringList{u"http://a/"_s, QString(), u"http://b/"_s}
                                << QByteArray("http://a/\r\n\r\nhttp://b/\r\n");
    QTest::newRow("accents and blanks") << QStringList{u"  http://servidor/canción año.mp3 "_s}
                                        << QByteArray("  http://servidor/canci\xc3\xb3n a\xc3\xb1o.mp3 \r\n");
}

void TstWindowState::quickListBothWays()
{
    QFETCH(QStringList, items);
    QFETCH(QByteArray, bytes);
    QCOMPARE(encodeQuickList(items), bytes);
    QCOMPARE(decodeQuickList(bytes), items);
}

void TstWindowState::quickListRead_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("items");
    const QByteArray longest(64 * 1024, 'a');
    QTest::newRow("bare LF") << QByteArray("http://a/\nhttp://b/\n") << QStringList{u"http://a/"_s, u"http://b/"_s};
    QTest::newRow("mixed ends") << QByteArray("http://a/\r\nhttp://b/\nhttp://c/\r\n")
                                << QStringList{u"http://a/"_s, u"http://b/"_s, u"http://c/"_s};
    QTest::newRow("last line without end")
        << QByteArray("http://a/\r\nhttp://b/") << QStringList{u"http://a/"_s, u"http://b/"_s};
    QTest::newRow("last line ends in CR") << QByteArray("http://a/\r") << QStringList{u"http://a/"_s};
    QTest::newRow("only a line end") << QByteArray("\r\n") << QStringList{QString()};
    QTest::newRow("64 KiB line kept") << longest + "\r\nhttp://b/"
                                      << QStringList{QString::fromLatin1(longest), u"http://b/"_s};
    QTest::newRow("overlong line left out")
        << QByteArray("http://a/\r\n") + longest + "b\r\nhttp://c/" << QStringList{u"http://a/"_s, u"http://c/"_s};
    QTest::newRow("overlong last line without end")
        << QByteArray("http://a/\n") + longest + "b" << QStringList{u"http://a/"_s};
}

void TstWindowState::quickListRead()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, items);
    QCOMPARE(decodeQuickList(bytes), items);
}

void TstWindowState::quickListLineBreakInsideItem()
{
    const QStringList items{u"http://a/\r\nx"_s, u"http://b/\ny\rz"_s, u"http://c/"_s};
    const QByteArray bytes = encodeQuickList(items);
    QCOMPARE(bytes, QByteArray("http://a/x\r\nhttp://b/yz\r\nhttp://c/\r\n"));
    QCOMPARE(decodeQuickList(bytes).size(), items.size());
}

QTEST_MAIN(TstWindowState)
#include "tst_window_state.moc"
