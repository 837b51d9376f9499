// The download queue: its list file, promotion to the active table (never
// leaving a download out of both list files), the manual commands and limits.
#include "engine_fixture.h"

#include "core/list_file.h"
#include "core/target_path.h"
#include "dialogs/detallado.h"
#include "engine/inactivas.h"
#include "engine/wording.h"
#include "log/log_append.h"
#include "platform/twips.h"
#include "rows/download.h"

#include <tarta.h>

#include <QFile>
#include <QLocale>
#include <QMimeData>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestInactivas : public QObject {
    Q_OBJECT
private slots:
    void init() { clearLogEntries(); }
    void listFileKeepsEveryFieldAndLock();
    void automaticPromotion_data();
    void automaticPromotion();
    void manualContinueLimit_data();
    void manualContinueLimit();
    void cancelDeletesOnlyAfterYes_data();
    void cancelDeletesOnlyAfterYes();
    void bytesText_data();
    void bytesText();
    void moveLeavesDownloadInSomeFile();
    void runningTargetIsNotQueuedTwice_data();
    void runningTargetIsNotQueuedTwice();
    void detailsSameBeforeAndAfterPause();
    void noSelectionDoesNothing();
};

namespace {
// An active window and its queue in one fresh program folder.
struct QueueFixture : EngineFixture {
    inactivas queue;
    QueueFixture() { queue.setActive(window.get()); }

    int queued(const QString &name, bool locked = false, qint64 size = 0, qint64 position = 0, bool nosave = true)
    {
        const QString file = target(name);
        queue.addnew(u"http://127.0.0.1:9/"_s + name, file, size, position, true, 0, nosave, QString(), QString(),
                     false, locked);
        for (int i = 1; i < inactivas::kSlots; ++i)
            if (queue.existe(i) && queue.entry(i).file == file)
                return i;
        return 0;
    }
    // What the list file holds once the saves asked for so far are on disk.
    QByteArray saved(const QString &list)
    {
        window->waitForSaves();
        return folder.read(list);
    }
    QStringList listed(const QString &list)
    {
        QStringList files;
        const ListKind kind = list == u"activas.dwn"_s ? ListKind::Active : ListKind::Inactive;
        for (const ListRecord &r : decodeListFile(saved(list), kind).records)
            files << r.file;
        return files;
    }
    int activeSlot(const QString &name) const
    {
        for (int i = 1; i < activas::kSlots; ++i)
            if (window->existe(i) && window->entry(i).file == target(name))
                return i;
        return 0;
    }
    bool activeHolds(const QString &name) const
    {
        for (int i = 1; i < activas::kSlots; ++i)
            if (window->existe(i) && window->entry(i).file == target(name))
                return true;
        return false;
    }
};

QByteArray record(const QByteArray &url, const QString &file, const QByteArray &rest)
{
    return url + "\r\n" + file.toLocal8Bit() + "\r\n" + rest;
}
} // namespace

void TestInactivas::listFileKeepsEveryFieldAndLock()
{
    QueueFixture f;
    const QString a = f.target(u"a"_s);
    const QString b = f.target(u"b"_s);
    const QString c = f.target(u"c"_s);
    f.queue.addnew(u"http://h/a,\"q\""_s, a, 2048, 1025, true, 77, false, u"nobody"_s, u"x"_s, false, false);
    f.queue.addnew(u"ftp://h/b"_s, b, 0, 0, false, 0, false, u"user"_s, u"pa ss,"_s, true, false);
    f.queue.addnew(u"http://h/c"_s, c, 0, 0, false, 0, false, QString(), QString(), false, false);
    f.folder.write(u"c"_s, "partial");
    f.queue.selectRow(2);
    f.queue.bloquear();
    QVERIFY(f.queue.indicador(2)->locked());
    f.queue.delfile(3, true);
    QVERIFY(!QFile::exists(c));

    const QByteArray expected =
        record("http://h/a,\"q\"", a, " 2048 \r\n 1025 \r\n 77 \r\nTrue\r\n\r\n\r\nFalse\r\nFalse\r\n")
        + record("ftp://h/b", b, " 0 \r\n 0 \r\n 0 \r\nFalse\r\nuser\r\npa ss,\r\nTrue\r\nTrue\r\n");
    QCOMPARE(f.saved(u"inactivas.dwn"_s), expected);

    // Read back: the lock and the elapsed time stay, nothing is rewritten.
    inactivas loaded;
    loaded.cargar_lista_inactivas();
    QVERIFY(loaded.existe(1) && loaded.existe(2) && !loaded.existe(3));
    QCOMPARE(loaded.entry(1).url, u"http://h/a,\"q\""_s);
    QCOMPARE(loaded.entry(1).elapsed, 77);
    QCOMPARE(loaded.entry(1).position, 1025);
    QVERIFY(loaded.entry(1).resumable && !loaded.entry(1).locked);
    QVERIFY(loaded.entry(1).ftpuser.isEmpty());
    QCOMPARE(loaded.entry(2).ftppass, u"pa ss,"_s);
    QVERIFY(loaded.entry(2).locked && loaded.indicador(2)->locked());
    QCOMPARE(loaded.indicador(1)->porcentaje(), 50);
    QVERIFY(f.prompts.messages().isEmpty());

    // The details of a queued download.
    QStringList shown;
    const auto capture = [&shown](QDialog &dialog) {
        auto &d = static_cast<detallado &>(dialog);
        shown << d.estado() + u'|' + d.actsize() + u'|' + d.totalsize() + u'|' + d.downloaded();
        return 0;
    };
    f.prompts.dialogs.enqueue(capture);
    f.prompts.dialogs.enqueue(capture);
    loaded.selectRow(1);
    loaded.CallProp();
    loaded.selectRow(2);
    loaded.CallProp();
    QCOMPARE(shown, (QStringList{u"Pausado|1 Kb|2 Kb|Descargados 1024 de 2048"_s,
                                 u"Pausado|0 bytes|0 bytes|Descargados 0 de 0"_s}));

    // A damaged file: the complete records before the damage, then the error.
    f.folder.write(u"inactivas.dwn"_s, expected + "http://h/d\r\nd\r\n 1 \r\n");
    inactivas damaged;
    damaged.cargar_lista_inactivas();
    QVERIFY(damaged.existe(1) && damaged.existe(2) && !damaged.existe(3));
    QCOMPARE(f.prompts.count(u"message"_s), 1);
    QVERIFY(f.prompts.asked.last().text.startsWith(u"Error al cargar lista de inactivas: "_s));
    QCOMPARE(f.prompts.asked.last().caption, u"Error"_s);
    QCOMPARE(f.prompts.asked.last().icon, platform::Icon::Critical);
}

void TestInactivas::automaticPromotion_data()
{
    QTest::addColumn<QList<bool>>("locks");
    QTest::addColumn<int>("promoted");
    QTest::newRow("first locked: the next one") << QList<bool>{true, false, false} << 2;
    QTest::newRow("only locked: nothing") << QList<bool>{true} << 0;
    QTest::newRow("all unlocked: the first") << QList<bool>{false, false} << 1;
}

void TestInactivas::automaticPromotion()
{
    QFETCH(QList<bool>, locks);
    QFETCH(int, promoted);
    QueueFixture f;
    for (qsizetype k = 0; k < locks.size(); ++k)
        f.queued(u"q%1"_s.arg(k + 1), locks[k]);
    const int secondRowY = f.queue.indicador(1)->y() + platform::twipsToPixels(300);
    f.queue.selectRow(qMax(promoted, 1));

    f.queue.toactivas();

    QStringList stillQueued;
    for (qsizetype k = 0; k < locks.size(); ++k)
        if (k + 1 != promoted)
            stillQueued << f.target(u"q%1"_s.arg(k + 1));
    // The queue is saved either way, and always matches the table.
    QCOMPARE(f.listed(u"inactivas.dwn"_s), stillQueued);
    if (promoted == 0) {
        QCOMPARE(f.window->loadedRows(), 1);
        QVERIFY(logEntries().isEmpty());
        return;
    }
    const QString name = u"q%1"_s.arg(promoted);
    QVERIFY(f.activeHolds(name));
    QCOMPARE(f.listed(u"activas.dwn"_s), QStringList{f.target(name)});
    QVERIFY(!f.queue.existe(promoted));
    QCOMPARE(f.queue.selected(), 0);
    QCOMPARE(logEntries().size(), 1);
    QVERIFY(logEntries().first().text.startsWith(u"\r\nSe continúa la descarga de "_s + f.target(name) + u" a las "_s));
    QCOMPARE(logEntries().first().color, 0x00BB00u);
    // The rows after it close up.
    if (promoted == 2)
        QCOMPARE(f.queue.indicador(3)->y(), secondRowY);
}

void TestInactivas::manualContinueLimit_data()
{
    QTest::addColumn<int>("activeRows");
    QTest::addColumn<bool>("moves");
    QTest::newRow("two active of two: refused") << 2 << false;
    QTest::newRow("one active of two: moved") << 1 << true;
}

void TestInactivas::manualContinueLimit()
{
    QFETCH(int, activeRows);
    QFETCH(bool, moves);
    QueueFixture f;
    f.settings->setMaxdesc(2);
    for (int k = 0; k < activeRows; ++k)
        f.add(u"http://127.0.0.1:9/a%1"_s.arg(k), u"a%1"_s.arg(k));
    // A locked entry can still be continued by hand.
    const int slot = f.queued(u"q"_s, true, 4096, 2049);
    f.queue.selectRow(slot);

    f.queue.CallContinue();

    QCOMPARE(f.queue.existe(slot), !moves);
    QCOMPARE(f.activeHolds(u"q"_s), moves);
    QCOMPARE(f.window->loadedRows(), activeRows + 1 + int(moves));
    if (moves) {
        QVERIFY(f.prompts.messages().isEmpty());
        QCOMPARE(f.queue.selected(), 0);
        QCOMPARE(logEntries().size(), 1);
        QCOMPARE(logEntries().first().color, 0x00BB00u);
        for (int i = 1; i < activas::kSlots; ++i)
            if (f.window->existe(i) && f.window->entry(i).file == f.target(u"q"_s))
                QCOMPARE(f.window->entry(i).position, 2049);
        QVERIFY(f.listed(u"inactivas.dwn"_s).isEmpty());
    } else {
        QCOMPARE(f.prompts.messages(), QStringList{u"Ya hay activas el número máximo configurado."_s});
        QCOMPARE(f.prompts.asked.last().icon, platform::Icon::Critical);
        QVERIFY(logEntries().isEmpty());
        QCOMPARE(f.listed(u"inactivas.dwn"_s), QStringList{f.target(u"q"_s)});
    }
}

void TestInactivas::cancelDeletesOnlyAfterYes_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("no") << false;
    QTest::newRow("yes") << true;
}

void TestInactivas::cancelDeletesOnlyAfterYes()
{
    QFETCH(bool, yes);
    QueueFixture f;
    f.queued(u"keep"_s, false, 0, 0, false);
    const int slot = f.queued(u"part"_s, false, 100, 11, false);
    f.folder.write(u"part"_s, "0123456789");
    const QByteArray before = f.saved(u"inactivas.dwn"_s);
    f.queue.selectRow(slot);
    f.prompts.yesNo.enqueue(yes);

    f.queue.CallCancel();

    QCOMPARE(f.prompts.count(u"question"_s), 1);
    QCOMPARE(f.prompts.asked.last().text,
             u"¿Seguro que desea cancelar la transferencia de "_s + f.target(u"part"_s) + u"?"_s);
    QCOMPARE(QFile::exists(f.target(u"part"_s)), !yes);
    QCOMPARE(f.queue.existe(slot), !yes);
    if (!yes) {
        QCOMPARE(f.saved(u"inactivas.dwn"_s), before);
        QCOMPARE(f.queue.selected(), slot);
        QVERIFY(logEntries().isEmpty());
        return;
    }
    QCOMPARE(f.listed(u"inactivas.dwn"_s), QStringList{f.target(u"keep"_s)});
    QCOMPARE(logEntries().size(), 1);
    QVERIFY(
        logEntries().first().text.startsWith(u"\r\nCancelada la descarga de "_s + f.target(u"part"_s) + u" a las "_s));
    QCOMPARE(logEntries().first().color, 0x000080u);
    QCOMPARE(f.queue.selected(), 0);
}

// The row shows the bytes in the file: the stored position counts one more.
void TestInactivas::bytesText_data()
{
    const QString point = QLocale::system().decimalPoint();
    QTest::addColumn<qint64>("position");
    QTest::addColumn<QString>("text");
    QTest::newRow("never started") << qint64(0) << u"0 bytes"_s;
    QTest::newRow("started, nothing yet") << qint64(1) << u"0 bytes"_s;
    QTest::newRow("1024 stays bytes") << qint64(1025) << u"1024 bytes"_s;
    QTest::newRow("1025") << qint64(1026) << u"1 Kb"_s;
    QTest::newRow("1536") << qint64(1537) << u"1"_s + point + u"5 Kb"_s;
    QTest::newRow("1048576 stays Kb") << qint64(1048577) << u"1024 Kb"_s;
    QTest::newRow("1048577") << qint64(1048578) << u"1 Mb"_s;
    QTest::newRow("5 GiB") << qint64(5) * 1024 * 1048576 + 1 << u"5120 Mb"_s;
}

void TestInactivas::bytesText()
{
    QFETCH(qint64, position);
    QFETCH(QString, text);
    QCOMPARE(queueBytesText(qMax<qint64>(0, position - 1)), text);
    QueueFixture f;
    const int slot = f.queued(u"q"_s, false, 0, position);
    QCOMPARE(f.queue.indicador(slot)->bytes(), text);
}

void TestInactivas::moveLeavesDownloadInSomeFile()
{
    QueueFixture f;
    const int slot = f.queued(u"m"_s, false, 0, 0, false);
    QVERIFY(f.queue.toact(slot));
    // Taken by the active table and saved there before the queue lets go.
    QCOMPARE(f.listed(u"activas.dwn"_s), QStringList{f.target(u"m"_s)});
    QCOMPARE(f.listed(u"inactivas.dwn"_s), QStringList{f.target(u"m"_s)});
    f.queue.delfile(slot, false);
    QCOMPARE(f.listed(u"activas.dwn"_s), QStringList{f.target(u"m"_s)});
    QVERIFY(f.listed(u"inactivas.dwn"_s).isEmpty());

    // When the active table refuses it, the entry stays queued and listed.
    f.queue.addnew(u"gopher://h/g"_s, f.target(u"g"_s), 0, 0, false, 0, false, {}, {}, false, false);
    const int bad = 1;
    QVERIFY(!f.queue.toact(bad));
    f.queue.selectRow(bad);
    f.queue.CallContinue();
    QVERIFY(f.queue.existe(bad));
    QCOMPARE(f.listed(u"inactivas.dwn"_s), QStringList{f.target(u"g"_s)});
    QCOMPARE(f.listed(u"activas.dwn"_s), QStringList{f.target(u"m"_s)});
    QVERIFY(logEntries().isEmpty());

    // A paused download is handed over while the active table still shows
    // it; another download for a file already taken is refused.
    f.prompts.asked.clear();
    f.queue.addnew(u"http://127.0.0.1:9/other"_s, f.target(u"m"_s), 0, 0, false, 0, false, {}, {}, false, false);
    QCOMPARE(f.prompts.messages(), QStringList{u"No se ha podido agregar el archivo:\r\nEl archivo "_s
                                               + f.target(u"m"_s) + u" ya es el destino de otra descarga."_s});
    QVERIFY(f.window->toinact(f.activeSlot(u"m"_s)));
    QCOMPARE(f.prompts.count(u"message"_s), 1);
    QVERIFY(f.queue.holdsTarget(f.target(u"m"_s)));
}

void TestInactivas::runningTargetIsNotQueuedTwice_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("same address") << u"http://127.0.0.1:9/r"_s;
    QTest::newRow("other address") << u"http://127.0.0.1:9/elsewhere"_s;
}

// With the active table full a new download waits in the queue; one for a
// file a running download writes would share it, and cancelling it would
// delete the running one's file.
void TestInactivas::runningTargetIsNotQueuedTwice()
{
    QFETCH(QString, url);
    QueueFixture f;
    f.settings->setMaxdesc(2);
    const QString file = f.target(u"r"_s);
    const int running = f.add(u"http://127.0.0.1:9/r"_s, u"r"_s);
    QVERIFY(running > 0);

    QMimeData drop;
    drop.setText(url);
    f.prompts.texts.enqueue(file);
    f.window->AgregarArrastrando(&drop);
    QCOMPARE(f.prompts.messages(), QStringList{targetTakenText(file)});
    QVERIFY(!f.queue.addnew(url, file, 0, 0, false, 0, false, {}, {}, false, false));
    QCOMPARE(f.queue.loadedRows(), 1);
    QVERIFY(!f.queue.holdsTarget(file));
    QVERIFY(!QFile::exists(f.folder.file(u"inactivas.dwn"_s)) || f.listed(u"inactivas.dwn"_s).isEmpty());

    // Pausing the running download itself still hands it over.
    QVERIFY(f.window->toinact(running));
    QVERIFY(f.queue.holdsTarget(file));
    QCOMPARE(f.prompts.count(u"message"_s), 2);
}

// A download shows the same figures in its details before and after a pause
// moves it to the queue; the pie scales past 32 bits alike.
void TestInactivas::detailsSameBeforeAndAfterPause()
{
    QueueFixture f;
    const qint64 size = qint64(5) << 30;
    const int running = f.add(u"http://127.0.0.1:9/p"_s, u"p"_s, size, 1000, true);
    QVERIFY(running > 0);
    QStringList shown;
    const auto capture = [&shown](QDialog &dialog) {
        auto &d = static_cast<detallado &>(dialog);
        shown << d.actsize() + u'|' + d.totalsize() + u'|' + d.downloaded() + u'|' + QString::number(d.pie()->value())
                     + u'/' + QString::number(d.pie()->MaxValue());
        return 0;
    };
    f.prompts.dialogs.enqueue(capture);
    f.window->selectRow(running);
    f.window->CallProp();
    QVERIFY(f.window->toinact(running));
    f.prompts.dialogs.enqueue(capture);
    f.queue.selectRow(1);
    f.queue.CallProp();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0], shown[1]);
    QCOMPARE(shown[0], u"999 bytes|5120 Mb|Descargados 999 de 5368709120|249/1342177280"_s);
}

void TestInactivas::noSelectionDoesNothing()
{
    QueueFixture f;
    const int slot = f.queued(u"q"_s, false, 0, 0);
    f.folder.write(u"q"_s, "data");
    f.queue.selectRow(slot);
    QVERIFY(f.queue.commandEnabled(u"continuar"_s) && f.queue.commandEnabled(u"detener"_s));
    QList<QPoint> menus;
    connect(&f.queue, &inactivas::rowMenuRequested, this, [&menus](const QPoint &at) { menus << at; });
    f.queue.clearSelection();
    QVERIFY(!f.queue.commandEnabled(u"continuar"_s) && !f.queue.commandEnabled(u"detener"_s));
    f.prompts.yesNo.enqueue(true);

    f.queue.CallCancel();
    f.queue.CallContinue();
    f.queue.bloquear();
    f.queue.CallProp();

    QVERIFY(f.prompts.asked.isEmpty());
    QVERIFY(logEntries().isEmpty());
    QVERIFY(f.queue.existe(slot) && !f.queue.entry(slot).locked);
    QVERIFY(QFile::exists(f.target(u"q"_s)));
    QVERIFY(!QFile::exists(f.target(u"inactivas.dwn"_s)));
    QCOMPARE(f.window->loadedRows(), 1);
    QVERIFY(menus.isEmpty());
}

QTEST_MAIN(TestInactivas)
#include "tst_inactivas.moc"
