#include "log/formato_spain.h"
#include "log/log_limit.h"
#include "log/rtf_codec.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(RtfRun)

namespace {

constexpr quint32 kBlack = 0;
constexpr quint32 kDarkRed = 128;
constexpr quint32 kRed = 255;

// Runs as one comparable line: [colour:text] with line ends made visible.
QString describe(const QList<RtfRun> &runs)
{
    QString out;
    for (const RtfRun &run : runs) {
        QString text = run.text;
        text.replace(u'\r', u"\\r"_s).replace(u'\n', u"\\n"_s);
        out += u"[%1:%2]"_s.arg(run.color).arg(text);
    }
    return out;
}

QString plainText(const QList<RtfRun> &runs)
{
    QString out;
    for (const RtfRun &run : runs)
        out += run.text;
    return out;
}

} // namespace

class TstLogCodec : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void exactBytes();
    void foreignDocuments_data();
    void foreignDocuments();
    void damaged_data();
    void damaged();
    void everyTruncationIsReported();
    void randomBytes();
    void formatoSpain_data();
    void formatoSpain();
    void sizeLimit_data();
    void sizeLimit();
    void dropLeadingTextKeepsColours();
};

void TstLogCodec::roundTrip_data()
{
    QTest::addColumn<QList<RtfRun>>("runs");

    QTest::newRow("ascii") << QList<RtfRun>{{u"Iniciado a las 10:00:00 el 31/12/1999"_s, kRed}};
    QTest::newRow("accents") << QList<RtfRun>{{u"\r\nConfiguración cambiada: ñÑ áéíóú ü €"_s, kBlack}};
    QTest::newRow("braces and backslashes") << QList<RtfRun>{{u"C:\\{x}\\par \\u241? }{"_s, kBlack}};
    QTest::newRow("line ends and tabs") << QList<RtfRun>{{u"\r\n\r\na\tb\r\n  c \r\n"_s, kDarkRed}};
    QTest::newRow("beyond the BMP") << QList<RtfRun>{{u"\U0001F600 \U00010348"_s, kBlack}};
    QTest::newRow("digits after a colour change")
        << QList<RtfRun>{{u"1"_s, kRed}, {u"2"_s, kBlack}, {u" 3"_s, kDarkRed}, {u"?"_s, kRed}};
    QTest::newRow("control characters") << QList<RtfRun>{{u"a\x01\x1f\x7f"_s + u"b"_s, kBlack}};
    QList<RtfRun> many;
    for (quint32 i = 0; i < 40; ++i)
        many.append({u"línea %1\r\n"_s.arg(i), (i * 0x0A0B0C) & 0xFFFFFF});
    QTest::newRow("many colours") << many;
}

void TstLogCodec::roundTrip()
{
    QFETCH(QList<RtfRun>, runs);

    const QByteArray bytes = encodeRtf(runs);
    for (const char c : bytes)
        QVERIFY2(uchar(c) < 0x80, "the document must be 7-bit");
    const RtfLoad load = decodeRtf(bytes);
    QVERIFY2(load.ok(), qPrintable(load.error));
    QCOMPARE(describe(load.runs), describe(runs));
}

void TstLogCodec::exactBytes()
{
    const QList<RtfRun> runs{{u"Iniciado a las 10:00:00"_s, kRed},
                             {QString(), kDarkRed},
                             {u"\r\nDescargando {a}\\b"_s, kBlack},
                             {u"\r\nConfiguración"_s, kDarkRed},
                             {u"\r\n"_s, 0xFF000000 | kBlack}};
    const QByteArray expected =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\r\n"
        "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue0;\\red128\\green0\\blue0;}\r\n"
        "\\pard\\f0\\fs20\\cf1 Iniciado a las 10:00:00\\cf2 \\par\r\n"
        "Descargando \\{a\\}\\\\b\\cf3 \\par\r\n"
        "Configuraci\\u243?n\\cf2 \\par\r\n"
        "}\r\n";
    QCOMPARE(encodeRtf(runs), expected);
    QCOMPARE(encodeRtf({}), QByteArray("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fswiss\\fcharset0 "
                                       "Arial;}}\r\n{\\colortbl;}\r\n\\pard\\f0\\fs20}\r\n"));
    // Characters past 0x7FFF are written negative, as RTF readers expect.
    QVERIFY(encodeRtf({{u"\uFFFD\U0001F600"_s, kBlack}}).contains("\\u-3?\\u-10179?\\u-8704?"));
}

void TstLogCodec::foreignDocuments_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("editor with generator and code page")
        << QByteArray("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang3082{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\r\n"
                      "{\\*\\generator Editor 10.0;}\\viewkind4\\uc1 \r\n"
                      "\\pard\\f0\\fs20 Caf\\'e9 \\'80 \\'93x\\'94\\par\r\n}\r\n")
               + QByteArray(1, '\0')
        << u"[0:Café € “x”\\r\\n]"_s;
    QTest::newRow("colour table, styles and info")
        << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0\\froman Times;}}"
                      "{\\colortbl;\\red0\\green0\\blue0;\\red128\\green0\\blue0;}"
                      "{\\stylesheet{\\s0 Normal;}}{\\info{\\title t}{\\author a}}"
                      "\\pard\\plain {\\cf2 roja}\\par negra\\cf2\\plain  sin}")
        << u"[128:roja][0:\\r\\nnegra sin]"_s;
    QTest::newRow("unicode with fallbacks") << QByteArray("{\\rtf1\\uc1 Configuraci\\u243\\'f3n \\u-10179?\\u-8704?"
                                                          "{\\uc2\\u8364 EU}\\u8364?\\uc0\\u243 x}")
                                            << u"[0:Configuración \U0001F600€€óx]"_s;
    QTest::newRow("line, tab and ignorable destinations")
        << QByteArray("{\\rtf1 a\\line b\\tab c{\\*\\bkmkstart x}d\\~e{\\*\\unknown {nested} text}f\\emdash}")
        << u"[0:a\\r\\nb\tcd\u00A0ef\u2014]"_s;
    QTest::newRow("binary data that looks like braces") << QByteArray("{\\rtf1 a{\\pict\\bin3 }{\\}c}") << u"[0:ac]"_s;
    QTest::newRow("colour index beyond the table is black")
        << QByteArray("{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}\\cf7 x\\cf1 y\\cf0 z}") << u"[0:x][255:y][0:z]"_s;
    QTest::newRow("field shows its result")
        << QByteArray("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"http://a\"}{\\fldrslt enlace}}}") << u"[0:enlace]"_s;
    QTest::newRow("raw 8-bit bytes as the code page") << QByteArray("{\\rtf1 Espa\xf1"
                                                                    "a \x80}")
                                                      << u"[0:España €]"_s;
    QTest::newRow("raw line breaks are not text; backslash-newline is")
        << QByteArray("{\\rtf1 a\r\nb\\\nc}") << u"[0:ab\\r\\nc]"_s;
}

void TstLogCodec::foreignDocuments()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);

    const RtfLoad load = decodeRtf(bytes);
    QVERIFY2(load.ok(), qPrintable(load.error));
    QCOMPARE(describe(load.runs), expected);
}

void TstLogCodec::damaged_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("plain text") << QByteArray("hola") << QString();
    QTest::newRow("group not closed") << QByteArray("{\\rtf1 a{b") << u"[0:ab]"_s;
    QTest::newRow("closed too early") << QByteArray("{\\rtf1 a}b}") << u"[0:a]"_s;
    QTest::newRow("ends in an escape") << QByteArray("{\\rtf1 a\\'4") << u"[0:a]"_s;
    QTest::newRow("ends in a backslash") << QByteArray("{\\rtf1 a\\") << u"[0:a]"_s;
    QTest::newRow("huge numbers") << QByteArray(
        "{\\rtf1\\cf99999999999999999999 x\\u99999999999999? y\\uc99999999999 \\u65?zz"
        "\\bin99999999999999 abc}")
                                  << u"[0:x yA]"_s;
    QTest::newRow("deep nesting") << QByteArray("{\\rtf1 a") + QByteArray(200000, '{') << u"[0:a]"_s;
}

void TstLogCodec::damaged()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);

    const RtfLoad load = decodeRtf(bytes);
    QVERIFY(!load.ok());
    QCOMPARE(describe(load.runs), expected);
}

void TstLogCodec::everyTruncationIsReported()
{
    const QList<RtfRun> runs{{u"Iniciado\r\n"_s, kRed}, {u"Descargando ñ {x}"_s, kBlack}};
    const QByteArray whole = encodeRtf(runs);
    const qsizetype closing = whole.lastIndexOf('}');
    for (qsizetype cut = 0; cut < closing; ++cut) {
        const RtfLoad load = decodeRtf(whole.left(cut));
        QVERIFY2(!load.ok(), qPrintable(u"cut at %1"_s.arg(cut)));
        QVERIFY(plainText(load.runs).size() <= plainText(runs).size());
    }
    // Everything but the closing brace: the text is all there.
    QCOMPARE(describe(decodeRtf(whole.left(closing)).runs), describe(runs));
}

void TstLogCodec::randomBytes()
{
    static const QByteArray special = "{}\\\\\\'rtf1cfuparbinline colortbl red;*0123456789-? \r\n";
    QRandomGenerator gen(20240611);
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes = round % 2 ? QByteArray("{\\rtf1 ") : QByteArray();
        const int size = int(gen.bounded(1, 400));
        for (int i = 0; i < size; ++i)
            bytes += gen.bounded(4) == 0 ? char(gen.bounded(256)) : special[int(gen.bounded(int(special.size())))];

        const RtfLoad load = decodeRtf(bytes);
        for (qsizetype i = 0; i < load.runs.size(); ++i) {
            QVERIFY(!load.runs[i].text.isEmpty());
            QVERIFY(i == 0 || load.runs[i].color != load.runs[i - 1].color);
        }
        // What was read can always be saved and read back the same, lone line
        // ends becoming CR LF.
        QList<RtfRun> expected = load.runs;
        for (RtfRun &run : expected)
            run.text.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n').replace(u"\n"_s, u"\r\n"_s);
        const RtfLoad again = decodeRtf(encodeRtf(load.runs));
        QVERIFY(again.ok());
        QCOMPARE(describe(again.runs), describe(expected));
    }
}

void TstLogCodec::formatoSpain_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("expected");

    QTest::newRow("end of year") << u"12-31-1999"_s << u"31/12/1999"_s;
    QTest::newRow("leading zeros") << u"01-02-2024"_s << u"02/01/2024"_s;
    QTest::newRow("empty") << QString() << u"//"_s;
}

void TstLogCodec::formatoSpain()
{
    QFETCH(QString, date);
    QFETCH(QString, expected);
    QCOMPARE(FormatoSpain(date), expected);
}

void TstLogCodec::sizeLimit_data()
{
    QTest::addColumn<QList<RtfRun>>("runs");
    QTest::addColumn<int>("histsize");
    QTest::addColumn<QString>("lines"); // which leading lines go: none, some or all

    QList<RtfRun> log{{u"Iniciado a las 10:00:00 el 31/12/1999"_s, kRed}};
    for (int i = 0; i < 100; ++i)
        log.append({u"\r\nDescargando http://servidor/archivo%1.zip a /tmp/archivo%1.zip"_s.arg(i),
                    i % 7 ? kBlack : kDarkRed});
    log.append({u"\r\nCerrado a las 11:00:00 el 31/12/1999\r\n"_s, kRed});
    QTest::newRow("fits already") << log << 64 << u"none"_s;
    QTest::newRow("1 KB") << log << 1 << u"some"_s;
    QTest::newRow("4 KB") << log << 4 << u"some"_s;
    QTest::newRow("nothing allowed") << log << 0 << u"all"_s;

    QList<RtfRun> accents;
    for (int i = 0; i < 60; ++i)
        accents.append({u"Configuración cambiada ñ\r\n"_s, kBlack});
    QTest::newRow("accents count as saved") << accents << 1 << u"some"_s;

    QTest::newRow("no line break") << QList<RtfRun>{{QString(3000, u'x'), kBlack}} << 1 << u"none"_s;
    QTest::newRow("last line alone too long")
        << QList<RtfRun>{{u"a\r\nb\r\n"_s, kBlack}, {QString(3000, u'x'), kRed}} << 1 << u"all"_s;
}

void TstLogCodec::sizeLimit()
{
    QFETCH(QList<RtfRun>, runs);
    QFETCH(int, histsize);
    QFETCH(QString, lines);
    const qint64 limit = qint64(histsize) * 1024;
    const auto saved = [&](qsizetype cut) { return encodeRtf(dropLeadingText(runs, cut)).size(); };

    const QString text = plainText(runs);
    const qsizetype lastBreak = text.lastIndexOf(u"\r\n"_s);
    const qsizetype lastCut = lastBreak < 0 ? 0 : lastBreak + 2;
    const qsizetype cut = logTrimLength(runs, histsize);

    QCOMPARE(cut == 0 ? u"none"_s : cut == lastCut ? u"all"_s : u"some"_s, lines);
    QVERIFY(cut == 0 || text.mid(cut - 2, 2) == u"\r\n"_s);
    QVERIFY(saved(cut) <= limit || cut == lastCut);
    if (cut > 0) {
        // One line fewer would not have fitted: no more lines go than needed.
        const qsizetype previous = cut >= 3 ? text.lastIndexOf(u"\r\n"_s, cut - 3) : -1;
        QVERIFY(saved(previous < 0 ? 0 : previous + 2) > limit);
    }
}

void TstLogCodec::dropLeadingTextKeepsColours()
{
    const QList<RtfRun> runs{{u"abc"_s, kRed}, {u"def"_s, kBlack}, {u"gh"_s, kDarkRed}};
    QCOMPARE(describe(dropLeadingText(runs, 4)), u"[0:ef][128:gh]"_s);
    QCOMPARE(describe(dropLeadingText(runs, 3)), u"[0:def][128:gh]"_s);
    QCOMPARE(describe(dropLeadingText(runs, 99)), QString());
}

QTEST_GUILESS_MAIN(TstLogCodec)
#include "tst_log_codec.moc"
