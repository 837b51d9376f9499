#include "core/settings_file.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString folder = u"/prog"_s;
const QString sep = QDir::separator();

// Every line differs from the built-in value, so a field read from the wrong line shows.
const QByteArray fullFile = "/datos/Descargas \xc3\xb1/\r\n"
                            " 0\r\n"
                            " 1\r\n"
                            " 1\r\n"
                            "/opt/av/scan\r\n"
                            "30\r\n"
                            "12\r\n"
                            " 1\r\n"
                            " 1\r\n"
                            " 0\r\n"
                            "4\r\n"
                            "25\r\n"
                            " 0\r\n"
                            "True\r\n"
                            "False\r\n"
                            "False\r\n"
                            "False\r\n"
                            "True\r\n"
                            " 0\r\n"
                            "/datos/log.rtf\r\n"
                            " 500\r\n"
                            ".rar\r\n"
                            ".7z\r\n";

SettingsValues fullValues()
{
    SettingsValues v;
    v.defdir = u"/datos/Descargas ñ/"_s;
    v.initstart = false;
    v.showmsg = true;
    v.exevirus = true;
    v.virus = u"/opt/av/scan"_s;
    v.segs = u"30"_s;
    v.segsv = 30;
    v.veces = u"12"_s;
    v.vecesv = 12;
    v.delinc = true;
    v.dellista = true;
    v.autocont = false;
    v.maxdesc = u"4"_s;
    v.maxdescval = 4;
    v.wait = u"25"_s;
    v.waitv = 25;
    v.checkact = false;
    v.autoact = true;
    v.notact = false;
    v.msgno = false;
    v.msgdialog = false;
    v.msgsys = true;
    v.wavs = false;
    v.histrut = u"/datos/log.rtf"_s;
    v.histsize = 500;
    v.ext = {u".rar"_s, u".7z"_s};
    return v;
}

QList<QByteArray> linesOf(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast(); // after the last line end
    return lines;
}

QByteArray joinLines(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const QByteArray &l : lines)
        out += l + '\n';
    return out;
}

// The full file with some lines (1-based) replaced.
QByteArray withLines(std::initializer_list<std::pair<int, QByteArray>> replacements)
{
    QList<QByteArray> lines = linesOf(fullFile);
    for (const auto &[line, text] : replacements)
        lines[line - 1] = text + '\r';
    return joinLines(lines);
}

QByteArray withLine(int line, const QByteArray &text)
{
    return withLines({{line, text}});
}

} // namespace

class TstSettingsFile : public QObject {
    Q_OBJECT
private slots:
    void defaults()
    {
        const SettingsValues v = defaultSettings(folder);
        QCOMPARE(v.defdir, folder + sep + u"download"_s + sep);
        QCOMPARE(v.histrut, folder + sep + u"historial.rtf"_s);
        QCOMPARE(v.ext.size(), 13);
        QCOMPARE(v.ext.first(), u".zip"_s);
        QCOMPARE(v.ext.last(), u".pif"_s);
        QCOMPARE(encodeSettings(v).left(encodeSettings(v).indexOf(".zip")),
                 (folder + sep + u"download"_s + sep).toUtf8()
                     + "\r\n 1\r\n 0\r\n 0\r\n\r\n5\r\n5\r\n 0\r\n 0\r\n 1\r\n10\r\n10\r\n 1\r\n"
                       "False\r\nTrue\r\nFalse\r\nTrue\r\nFalse\r\n 1\r\n"
                     + (folder + sep + u"historial.rtf"_s).toUtf8() + "\r\n 10\r\n");
    }

    void roundTrip()
    {
        const SettingsReadResult r = decodeSettings(fullFile, folder);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.linesRead, 21);
        QCOMPARE(r.values, fullValues());
        QCOMPARE(encodeSettings(r.values), fullFile);
    }

    // The limit is a named line after the extensions: written only when set,
    // read wherever it stands among them, and never taken for an extension.
    void speedLimitLine_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("ext");
        QTest::newRow("none: an older file") << QByteArray(".rar\r\n") << 0 << QStringList{u".rar"_s};
        QTest::newRow("set") << QByteArray(".rar\r\nl\xc3\xadmite=250\r\n") << 250 << QStringList{u".rar"_s};
        QTest::newRow("among the extensions")
            << QByteArray(".rar\r\nl\xc3\xadmite=80\r\n.7z\r\n") << 80 << QStringList{u".rar"_s, u".7z"_s};
        QTest::newRow("not a number") << QByteArray("l\xc3\xadmite=mucho\r\n") << 0 << QStringList();
        QTest::newRow("negative") << QByteArray("l\xc3\xadmite=-5\r\n") << 0 << QStringList();
        QTest::newRow("beyond the highest") << QByteArray("l\xc3\xadmite=99999999999\r\n") << 0 << QStringList();
    }
    void speedLimitLine()
    {
        QFETCH(QByteArray, tail);
        QFETCH(int, limit);
        QFETCH(QStringList, ext);
        QByteArray file = fullFile;
        file.truncate(file.indexOf(".rar"));
        const SettingsReadResult r = decodeSettings(file + tail, folder);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.values.speedLimitKb, limit);
        QCOMPARE(r.values.ext, ext);
        const QByteArray written = encodeSettings(r.values);
        QCOMPARE(written.contains("l\xc3\xadmite="), limit > 0);
        QCOMPARE(decodeSettings(written, folder).values, r.values);
    }

    void connectionsLine_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<int>("connections");
        QTest::addColumn<QStringList>("ext");
        QTest::newRow("none: the default") << QByteArray(".rar\r\n") << 4 << QStringList{u".rar"_s};
        QTest::newRow("one, as before") << QByteArray(".rar\r\nconexiones=1\r\n") << 1 << QStringList{u".rar"_s};
        QTest::newRow("the most, beside a limit") << QByteArray(".rar\r\nl\xc3\xadmite=80\r\nconexiones=16\r\n.7z\r\n")
                                                  << 16 << QStringList{u".rar"_s, u".7z"_s};
        QTest::newRow("zero is the default") << QByteArray("conexiones=0\r\n") << 4 << QStringList();
        QTest::newRow("beyond the most") << QByteArray("conexiones=17\r\n") << 4 << QStringList();
        QTest::newRow("not a number") << QByteArray("conexiones=muchas\r\n") << 4 << QStringList();
    }
    void connectionsLine()
    {
        QFETCH(QByteArray, tail);
        QFETCH(int, connections);
        QFETCH(QStringList, ext);
        QByteArray file = fullFile;
        file.truncate(file.indexOf(".rar"));
        const SettingsReadResult r = decodeSettings(file + tail, folder);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.values.connections, connections);
        QCOMPARE(r.values.ext, ext);
        // Written only when not the default, so an older reader sees no new line.
        const QByteArray written = encodeSettings(r.values);
        QCOMPARE(written.contains("conexiones="), connections != 4);
        QCOMPARE(decodeSettings(written, folder).values, r.values);
    }

    void numbersKeepTheSignPlace_data()
    {
        QTest::addColumn<int>("histsize");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("zero") << 0 << QByteArray(" 0");
        QTest::newRow("positive") << 5000 << QByteArray(" 5000");
        QTest::newRow("negative") << -3 << QByteArray("-3");
    }
    void numbersKeepTheSignPlace()
    {
        QFETCH(int, histsize);
        QFETCH(QByteArray, line);
        SettingsValues v = fullValues();
        v.histsize = histsize;
        QCOMPARE(linesOf(encodeSettings(v)).at(20), line + '\r');
    }

    void lineBreakInsideValueDoesNotShiftLines()
    {
        SettingsValues v = fullValues();
        v.virus = u"/opt/a\r\nv"_s;
        const SettingsReadResult r = decodeSettings(encodeSettings(v), folder);
        QVERIFY(r.ok());
        QCOMPARE(r.values.virus, u"/opt/av"_s);
        QCOMPARE(r.values.segs, u"30"_s);
    }

    // The lines not read keep the built-in values; reaching line 21 clears the list.
    void cutShort_data()
    {
        QTest::addColumn<int>("kept");
        for (int n : {0, 1, 5, 12, 20, 21})
            QTest::addRow("%d lines", n) << n;
    }
    void cutShort()
    {
        QFETCH(int, kept);
        const SettingsValues defaults = defaultSettings(folder);
        const SettingsReadResult r = decodeSettings(joinLines(linesOf(fullFile).mid(0, kept)), folder);
        QCOMPARE(r.linesRead, kept);
        QCOMPARE(r.ok(), kept == 21);
        if (kept < 21)
            QVERIFY2(r.error.contains(u"línea %1"_s.arg(kept + 1)), qPrintable(r.error));

        QList<QByteArray> expected =
            linesOf(fullFile).mid(0, kept) + linesOf(encodeSettings(defaults)).mid(kept, 21 - kept);
        if (kept < 21)
            expected += linesOf(encodeSettings(defaults)).mid(21);
        QCOMPARE(encodeSettings(r.values), joinLines(expected));
        QCOMPARE(r.values.segsv, kept >= 6 ? 30 : defaults.segsv);
        QCOMPARE(r.values.ext.isEmpty(), kept == 21);
    }

    void folderLines_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty download folder") << 1 << QString() << folder + sep + u"download"_s + sep;
        QTest::newRow("folder without separator") << 1 << u"/datos/bajadas"_s << u"/datos/bajadas"_s + sep;
        QTest::newRow("folder with separator") << 1 << u"/datos/bajadas"_s + sep << u"/datos/bajadas"_s + sep;
        QTest::newRow("empty log path") << 20 << QString() << folder + sep + u"historial.rtf"_s;
    }
    void folderLines()
    {
        QFETCH(int, line);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const SettingsReadResult r = decodeSettings(withLine(line, text.toUtf8()), folder);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(line == 1 ? r.values.defdir : r.values.histrut, expected);
    }

    void valuesWithBlanksAndCase()
    {
        const QByteArray bytes = withLines(
            {{2, "  1  "}, {6, "\t7 "}, {14, "fAlSe"}, {15, " TRUE "}, {16, "true"}, {17, "-1"}, {21, "42   "}});
        const SettingsReadResult r = decodeSettings(bytes, folder);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.values.initstart, true);
        QCOMPARE(r.values.segs, u"7"_s);
        QCOMPARE(r.values.segsv, 7);
        QCOMPARE(r.values.autoact, false);
        QCOMPARE(r.values.notact, true);
        QCOMPARE(r.values.msgno, true);
        QCOMPARE(r.values.msgdialog, true);
        QCOMPARE(r.values.histsize, 42);
    }

    void damagedLine_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty check box") << 2 << QByteArray();
        QTest::newRow("word for a number") << 7 << QByteArray("muchas");
        QTest::newRow("number with junk") << 11 << QByteArray("4x");
        QTest::newRow("unknown option word") << 16 << QByteArray("Verdadero");
        QTest::newRow("too large") << 21 << QByteArray("99999999999");
    }
    void damagedLine()
    {
        QFETCH(int, line);
        QFETCH(QByteArray, text);
        const SettingsReadResult r = decodeSettings(withLine(line, text), folder);
        QVERIFY(!r.ok());
        QVERIFY2(r.error.contains(u"línea %1"_s.arg(line)), qPrintable(r.error));
        QCOMPARE(r.linesRead, line - 1);
        QCOMPARE(r.values.defdir, fullValues().defdir);
        QCOMPARE(r.values.histsize, 10);
        QCOMPARE(r.values.ext, defaultSettings(folder).ext);
    }

    // An empty number reads as 0 where 0 is a value of that setting (retries).
    void emptyRetriesReadAsZero()
    {
        const SettingsReadResult r = decodeSettings(withLine(7, "  "), folder);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.values.vecesv, 0);
        QCOMPARE(r.values.ext, fullValues().ext);
        QVERIFY(!decodeSettings(withLine(6, ""), folder).ok()); // 0 is no retry delay
    }

    void bareLineFeedsAndNoFinalLineEnd()
    {
        QByteArray bytes = fullFile;
        bytes.replace("\r\n", "\n");
        bytes.chop(1);
        const SettingsReadResult r = decodeSettings(bytes, folder);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.values, fullValues());
    }

    void blankListLinesAreSkipped()
    {
        const SettingsReadResult r = decodeSettings(fullFile + "\r\n  \r\n.iso\r\n", folder);
        QCOMPARE(r.values.ext, (QStringList{u".rar"_s, u".7z"_s, u".iso"_s}));
    }

    void missingFile()
    {
        const QString path = u"/nonexistent-tandrel/tandrel.ini"_s;
        const SettingsReadResult r = readSettingsFile(path, folder);
        QVERIFY(r.error.startsWith(u"No se ha podido leer "_s + path + u": "_s));
        QCOMPARE(r.linesRead, 0);
        QCOMPARE(r.values, defaultSettings(folder));
    }
};

QTEST_GUILESS_MAIN(TstSettingsFile)
#include "tst_settings_file.moc"
