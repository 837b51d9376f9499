#include "log/historial.h"
#include "log/log_append.h"
#include "log/log_document.h"
#include "log/log_limit.h"
#include "log/log_settings.h"
#include "log/rtf_codec.h"
#include "platform/ole_color.h"
#include "test_folder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextEdit>
#include <QtTest>

#include <sys/resource.h>

#include <csignal>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(RtfRun)

namespace {

const QString kLog = u"historial.rtf"_s;
const QString kStamp = uR"(\d\d:\d\d:\d\d el \d\d/\d\d/\d{4})"_s;

QString describe(const QList<RtfRun> &runs)
{
    QString out;
    for (const RtfRun &run : runs)
        out += u"[%1:%2]"_s.arg(run.color).arg(QString(run.text).replace(u"\r"_s, u"\\r"_s).replace(u"\n"_s, u"\\n"_s));
    return out;
}

QString plain(const QList<RtfRun> &runs)
{
    QString out;
    for (const RtfRun &run : runs)
        out += run.text;
    return out;
}

bool matches(const QString &pattern, const QString &text)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(text).hasMatch();
}

// Every visible character with its colour, as the document has it and as the
// window shows it; line ends are left out (the box keeps them as blocks).
QString coloured(const QList<RtfRun> &runs)
{
    QString out;
    for (const RtfRun &run : runs)
        for (const QChar c : run.text)
            if (c != u'\r' && c != u'\n')
                out += c + platform::oleColor(run.color).name();
    return out;
}

QString coloured(const QTextEdit &edit)
{
    QString out;
    for (QTextBlock block = edit.document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            for (const QChar c : it.fragment().text())
                out += c + it.fragment().charFormat().foreground().color().name();
    return out;
}

QString shown(QString text)
{
    return text.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
}

} // namespace

class TstLogDocument : public QObject {
    Q_OBJECT

private slots:
    void init() { setLogSettings({}, {}); }
    void sessionRoundTrip_data();
    void sessionRoundTrip();
    void appendLogReopensAClosedLog();
    void entriesReachTheDiskWithinSeconds();
    void outsideTextCannotForgeEntries_data();
    void outsideTextCannotForgeEntries();
    void sizeLimit_data();
    void sizeLimit();
    void damagedFile_data();
    void damagedFile();
    void failedSaveKeepsOldFile_data();
    void failedSaveKeepsOldFile();
};

void TstLogDocument::sessionRoundTrip_data()
{
    QTest::addColumn<QList<RtfRun>>("stored");
    QTest::addColumn<QString>("startPrefix");

    const QList<RtfRun> earlier{{u"Iniciado a las 09:00:00 el 01/02/2024"_s, 255},
                                {u"\r\nConfiguración cambiada a las 09:01:00"_s, 0},
                                {u"\r\nCanceladas TODAS las descargas a las 09:02:00"_s, 128},
                                {u"\r\nCerrado a las 09:03:00 el 01/02/2024\r\n"_s, 255}};
    QTest::newRow("after a closed session") << earlier << QString();
    QTest::newRow("last line unfinished") << earlier.mid(0, 3) << u"\r\n"_s;
    QTest::newRow("no file yet") << QList<RtfRun>() << QString();
}

void TstLogDocument::sessionRoundTrip()
{
    QFETCH(QList<RtfRun>, stored);
    QFETCH(QString, startPrefix);
    testing::TestFolder folder;
    if (!stored.isEmpty())
        folder.write(kLog, encodeRtf(stored));

    LogDocument doc;
    QCOMPARE(doc.startSession(), QString());
    const QString entry = u"\r\nDescargando http://h/año.zip a /tmp/año.zip"_s;
    doc.append(entry, 0);
    QCOMPARE(doc.endSession(), QString());

    const RtfLoad saved = decodeRtf(folder.read(kLog));
    QVERIFY2(saved.ok(), qPrintable(saved.error));
    QCOMPARE(describe(saved.runs), describe(doc.runs()));
    const QString expected = plain(stored);
    QVERIFY(plain(saved.runs).startsWith(expected));
    const QString added = plain(saved.runs).mid(expected.size());
    QVERIFY2(matches(startPrefix + u"Iniciado a las "_s + kStamp + QRegularExpression::escape(entry)
                         + u"\r\nCerrado a las "_s + kStamp + u"\r\n"_s,
                     added),
             qPrintable(added));
    // Start and end entries red, the new entry black, the earlier colours kept.
    const qsizetype n = saved.runs.size();
    QVERIFY(n >= 3);
    QCOMPARE(saved.runs.at(n - 3).color, 255u);
    QCOMPARE(describe(saved.runs.mid(n - 2, 1)), describe({{entry, 0}}));
    QCOMPARE(saved.runs.at(n - 1).color, 255u);
    QVERIFY(stored.isEmpty() || describe(saved.runs).startsWith(describe(stored).chopped(1)));

    QString error;
    QVERIFY(doc.saveAs(folder.file(u"copia.rtf"_s), &error));
    QCOMPARE(folder.read(u"copia.rtf"_s), folder.read(kLog));
}

// A crash loses at most the last seconds: each entry is on disk shortly after
// it is written, and the end entry still comes last.
void TstLogDocument::entriesReachTheDiskWithinSeconds()
{
    testing::TestFolder folder;
    LogDocument doc;
    QCOMPARE(doc.startSession(), QString());
    const auto onDisk = [&folder] { return plain(decodeRtf(folder.read(kLog)).runs); };
    QElapsedTimer waited;
    waited.start();
    doc.append(u"\r\nFinalizada la descarga de http://h/a"_s, 0);
    QTRY_VERIFY2_WITH_TIMEOUT(onDisk().endsWith(u"http://h/a"_s), qPrintable(onDisk()), 2 * LogDocument::kSaveDelayMs);
    QVERIFY(waited.elapsed() >= LogDocument::kSaveDelayMs / 2); // one save for a burst, not one per entry

    // A save on its way and the end of the session: the end entry is last.
    doc.append(u"\r\nPausada http://h/b"_s, 0x00C4C4);
    QTest::qWait(LogDocument::kSaveDelayMs + 50);
    doc.append(u"\r\nCanceladas"_s, 128);
    QCOMPARE(doc.endSession(), QString());
    const QString text = onDisk();
    QVERIFY2(
        matches(u"[\\s\\S]*http://h/a\r\nPausada http://h/b\r\nCanceladas\r\nCerrado a las "_s + kStamp + u"\r\n"_s,
                text),
        qPrintable(text));
}

// The engine writes through appendLog: entries written before the log is read
// follow the file's text, and a write after the log was closed opens it again.
void TstLogDocument::appendLogReopensAClosedLog()
{
    testing::TestFolder folder;
    folder.write(kLog, encodeRtf({{u"viejo\r\n"_s, 0}}));
    clearLogEntries();
    LogDocument &doc = logDocument();

    appendLog(u"\r\nantes"_s);
    QCOMPARE(doc.startSession(), QString());
    QVERIFY2(matches(u"viejo\r\nIniciado a las "_s + kStamp + u"\r\nantes"_s, doc.plainText()),
             qPrintable(doc.plainText()));
    QCOMPARE(doc.endSession(), QString());
    QVERIFY(doc.sessionEnded());

    appendLog(u"\r\nCanceladas"_s, 128);
    QVERIFY(doc.inSession());
    const QString text = doc.plainText();
    QVERIFY2(matches(u"viejo\r\nIniciado a las "_s + kStamp + u"\r\nantes\r\nCerrado a las "_s + kStamp
                         + u"\r\nIniciado a las "_s + kStamp + u"\r\nCanceladas"_s,
                     text),
             qPrintable(text));
    QCOMPARE(doc.runs().last().color, 128u);
    QCOMPARE(logEntries().size(), 2);
    QCOMPARE(logEntries().last().text, u"\r\nCanceladas"_s);
    // The program's log saves itself while open: it must not write into the
    // next test's folder.
    QCOMPARE(doc.endSession(), QString());
}

void TstLogDocument::outsideTextCannotForgeEntries_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("logged");
    QTest::newRow("plain") << u"\r\nDescargando http://h/a"_s << u"\r\nDescargando http://h/a"_s;
    QTest::newRow("a bare CR in an address") << u"\r\nDescargando http://h/a\rX-Injected: 1 ha finalizado a f"_s
                                             << u"\r\nDescargando http://h/a\\rX-Injected: 1 ha finalizado a f"_s;
    QTest::newRow("a CR LF inside, the log's own ends kept")
        << u"\r\n\r\nrespondido: 230-x\r\n230 y\r\n"_s << u"\r\n\r\nrespondido: 230-x\\r\\n230 y\r\n"_s;
    QTest::newRow("escape, tab, NUL, line separator")
        << u"\r\na\x1B[2Jb\tc"_s + QChar(0) + u"d\u2028e"_s << u"\r\na\\x1B[2Jb\\tc\\x00d\\u2028e"_s;
}

// Addresses and server replies end up inside log entries: their line breaks
// must not start entries of their own.
void TstLogDocument::outsideTextCannotForgeEntries()
{
    QFETCH(QString, entry);
    QFETCH(QString, logged);
    testing::TestFolder folder;
    clearLogEntries();
    LogDocument &doc = logDocument();
    QCOMPARE(doc.startSession(), QString());
    const qsizetype before = doc.plainText().count(u'\n');
    appendLog(entry);
    QCOMPARE(logEntries().last().text, logged);
    QCOMPARE(doc.plainText().count(u'\n') - before, logged.count(u'\n'));
    QCOMPARE(doc.endSession(), QString());
}

void TstLogDocument::sizeLimit_data()
{
    QTest::addColumn<QList<RtfRun>>("entries");

    // Entries of every colour and kind of character, some without a leading
    // line end, some ending in a CR whose LF comes with the next entry.
    QRandomGenerator random(20240601);
    const QList<quint32> colours{0, 128, 255, 0x00FF00, 0x01000000};
    const QStringList words{u"Descargando"_s, u"año"_s, u"{llave}"_s, u"C:\\x"_s, u"\t"_s, u"€"_s, u"\U0001F600"_s};
    QList<RtfRun> entries;
    for (int i = 0; i < 400; ++i) {
        QString text = random.bounded(5) ? u"\r\n"_s : QString();
        if (!entries.isEmpty() && entries.last().text.endsWith(u'\r'))
            text = u"\n"_s;
        for (int w = random.bounded(1, 12); w > 0; --w)
            text += words.at(random.bounded(words.size())) + u' ';
        if (!random.bounded(10))
            text += u'\r';
        entries.append({text, colours.at(random.bounded(colours.size()))});
    }
    QTest::newRow("many entries") << entries;
    QTest::newRow("one huge line") << QList<RtfRun>{{u"\r\nprimera"_s, 0},
                                                    {u"\r\n"_s + QString(3000, u'x'), 0},
                                                    {QString(3000, u'y'), 128},
                                                    {u"\r\nú"_s + QString(2000, u'z'), 255},
                                                    {u"\r\núltima"_s, 255}};
}

void TstLogDocument::sizeLimit()
{
    QFETCH(QList<RtfRun>, entries);
    testing::TestFolder folder;
    setLogSettings({}, [] { return 1; });
    LogDocument doc;
    historial window(doc);

    QList<RtfRun> all; // every entry, joined as the log joins them
    for (const RtfRun &entry : entries) {
        doc.append(entry.text, entry.color);
        if (!all.isEmpty() && all.last().color == entry.color)
            all.last().text += entry.text;
        else
            all.append(entry);

        QCOMPARE(doc.savedSize(), encodeRtf(doc.runs()).size());
        const QString full = plain(all);
        const QString kept = doc.plainText();
        QVERIFY(full.endsWith(kept));
        const qsizetype cut = full.size() - kept.size();
        QCOMPARE(describe(doc.runs()), describe(dropLeadingText(all, cut)));
        // Whole leading lines only, as few as fit; over the limit only when no
        // line end is left to cut at.
        QVERIFY(cut == 0 || full.mid(cut - 2, 2) == u"\r\n"_s);
        QVERIFY(doc.savedSize() <= 1024 || !kept.contains(u"\r\n"_s));
        if (cut > 0) {
            const qsizetype before = full.lastIndexOf(u"\r\n"_s, cut - 3);
            QVERIFY(encodeRtf(dropLeadingText(all, before < 0 ? 0 : before + 2)).size() > 1024);
        }
        QCOMPARE(window.texto()->toPlainText(), shown(kept));
    }
    QCOMPARE(coloured(*window.texto()), coloured(doc.runs()));
    window.show();
    window.resize(600, 400);
    QCOMPARE(window.texto()->size(), QSize(592, 367)); // 120 and 500 twips less
    window.resize(5, 5);
    QCOMPARE(window.texto()->size(), QSize(0, 0));
    QCOMPARE(doc.save(), QString());
    QVERIFY(folder.read(kLog).size() <= 1024);
    QCOMPARE(folder.read(kLog), encodeRtf(doc.runs()));
}

void TstLogDocument::damagedFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("sound"); // describe() of the runs read before the damage
    QTest::addColumn<bool>("backupBlocked");

    const QByteArray whole = encodeRtf({{u"Iniciado"_s, 255}, {u"\r\nConfiguración"_s, 0}, {u"\r\nCanceladas"_s, 128}});
    const QByteArray cut = whole.left(whole.indexOf("Canceladas") + 3);
    const QString soundRuns = u"[255:Iniciado][0:\\r\\nConfiguración][128:\\r\\nCan]"_s;
    QTest::newRow("cut short") << cut << soundRuns << false;
    QTest::newRow("not a document") << QByteArray("PK\x03\x04 {\\rtf1") << QString() << false;
    QTest::newRow("copy cannot be made") << cut << soundRuns << true;
}

// A damaged log keeps what could be read, and the original is copied aside
// before anything overwrites it; without a copy, it is not overwritten.
void TstLogDocument::damagedFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, sound);
    QFETCH(bool, backupBlocked);
    testing::TestFolder folder;
    folder.write(kLog, bytes);
    if (backupBlocked)
        QVERIFY(QDir(folder.path()).mkdir(kLog + u".bak"_s));

    LogDocument doc;
    QVERIFY(!doc.startSession().isEmpty());
    QVERIFY2(describe(doc.runs()).startsWith(sound), qPrintable(describe(doc.runs())));
    doc.append(u"\r\nnueva"_s, 0);
    const QString error = doc.endSession();
    if (backupBlocked) {
        QVERIFY(!error.isEmpty());
        QCOMPARE(folder.read(kLog), bytes);
        return;
    }
    QCOMPARE(error, QString());
    QCOMPARE(folder.read(kLog + u".bak"_s), bytes);
    const RtfLoad saved = decodeRtf(folder.read(kLog));
    QVERIFY(saved.ok());
    QCOMPARE(describe(saved.runs), describe(doc.runs()));

    // The mended log reads whole; the copy stays as it was.
    LogDocument again;
    QCOMPARE(again.load(), QString());
    QCOMPARE(again.endSession(), QString());
    QCOMPARE(folder.read(kLog + u".bak"_s), bytes);
}

void TstLogDocument::failedSaveKeepsOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("write fails midway") << u"fsize"_s;
    QTest::newRow("read-only folder") << u"readonly"_s;
    QTest::newRow("folder gone") << u"missing"_s;
}

void TstLogDocument::failedSaveKeepsOldFile()
{
    QFETCH(QString, how);
    testing::TestFolder folder;
    QList<RtfRun> old;
    for (int i = 0; i < 200; ++i)
        old.append({u"\r\nlínea vieja %1"_s.arg(i), quint32(i % 2 ? 0 : 128)});
    const QByteArray oldBytes = encodeRtf(old);
    folder.write(kLog, oldBytes);

    LogDocument doc;
    QCOMPARE(doc.load(), QString());
    doc.append(u"\r\n"_s + QString(8000, u'n'), 0);
    QString error;
    if (how == u"fsize"_s) {
        // The temporary file cannot grow past 1 KB, as on a full disk.
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        error = doc.save();
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
    } else if (how == u"readonly"_s) {
        QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner);
        QFile probe(folder.file(u"probe"_s));
        const bool writable = probe.open(QIODevice::WriteOnly);
        if (!writable)
            error = doc.save();
        QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (writable)
            QSKIP("the folder stays writable for this user");
    } else {
        setLogSettings([&] { return folder.file(u"gone/historial.rtf"_s); }, {});
        error = doc.save();
    }
    QVERIFY(!error.isEmpty());
    QCOMPARE(folder.read(kLog), oldBytes);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{kLog});
}

QTEST_MAIN(TstLogDocument)
#include "tst_log_document.moc"
