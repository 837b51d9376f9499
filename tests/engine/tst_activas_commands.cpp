// The commands on one download of the active window: cancel, pause,
// reconnect, open, antivirus, the details dialog and switching off when done.
#include "engine_fixture.h"

#include "core/interval_timer.h"
#include "dialogs/detallado.h"
#include "file_digest.h"
#include "http_script_server.h"
#include "log/log_append.h"
#include "rows/download.h"

#include <tarta.h>

#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

using namespace Qt::StringLiterals;
using testing::HttpScriptServer;

namespace {
constexpr int kWaitMs = 10000;

// A queue that keeps what it is handed, and whether the active list on
// disk still held the download at that moment. Like a careful queue, it
// refuses a file another active download writes.
class KeepingQueue final : public QueueHooks {
public:
    struct Added {
        QString url;
        QString file;
        qint64 size = 0;
        qint64 position = 0;
        bool resumable = false;
        bool locked = true;
        bool activeListHadIt = false;
    };
    explicit KeepingQueue(const testing::TestFolder &folder) : folder_(folder) {}
    QList<Added> added;
    int rows = 1;
    int saves = 0;
    QString saveError;
    activas *active = nullptr;

    int loadedRows() const override { return rows; }
    bool addnew(const QString &url, const QString &file, qint64 size, qint64 position, bool resumable, qint32, bool,
                const QString &, const QString &, bool, bool locked) override
    {
        if (active && active->targetTaken(file))
            return false;
        // What the saves asked for before the hand-over put on disk.
        if (active)
            active->waitForSaves();
        added.append(
            {url, file, size, position, resumable, locked, folder_.read(u"activas.dwn"_s).contains(url.toUtf8())});
        ++rows;
        return true;
    }
    void toactivas() override {}
    bool holdsTarget(const QString &) const override { return false; }
    QString writeListNow() override
    {
        ++saves;
        return saveError;
    }

private:
    const testing::TestFolder &folder_;
};

// A download whose every byte is on disk: shown finished at once.
int addFinished(EngineFixture &f, const QString &name, int size = 2000)
{
    if (!testing::writeFile(f.target(name), testing::testBytes(size)))
        return 0;
    return f.add(u"http://127.0.0.1:9/"_s + name, name, size, 1, true);
}

HttpScriptServer::Options stallAfter(qint64 bytes, bool ranges = true)
{
    HttpScriptServer::Options o;
    o.stallAfterBytes = bytes;
    o.honourRanges = ranges;
    return o;
}

bool lastLogIs(const QString &start, quint32 color)
{
    const auto entries = logEntries();
    return !entries.isEmpty() && entries.last().text.startsWith(start) && entries.last().color == color;
}

const QRegularExpression kClock(u" a las \\d\\d:\\d\\d:\\d\\d"_s);
} // namespace

class TestActivasCommands : public QObject {
    Q_OBJECT
private slots:
    void init() { clearLogEntries(); }

    void selectionRuleEnablesButtons_data();
    void selectionRuleEnablesButtons();
    void cancelAsksThenDeletesTheDownload();
    void ownSpeedLimitFromMenuAndDetails();
    void pauseHandsTheDownloadToTheQueue_data();
    void pauseHandsTheDownloadToTheQueue();
    void reconnectAfterRetriesRanOutResumes();
    void reconnectAfterSizeChangeStartsOver();
    void finishedFileIsOpenedAndScanned();
    void switchOffOnlyWhenEverythingEnded();
    void switchOffAfterFinishedRowsLeftTheList();
};

void TestActivasCommands::selectionRuleEnablesButtons_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QList<bool>>("enabled"); // detener, pausar, continuar, open, antivirus
    QTest::addColumn<QString>("estado");      // of the details dialog; "" when none opens
    QTest::newRow("finished") << u"finished"_s << QList<bool>{false, false, false, true, true} << u"Finalizado"_s;
    QTest::newRow("downloading") << u"downloading"_s << QList<bool>{true, true, false, false, false}
                                 << u"Descargando"_s;
    QTest::newRow("connecting") << u"connecting"_s << QList<bool>{true, true, false, false, false}
                                << u"Conectando..."_s;
    QTest::newRow("retries over") << u"retries over"_s << QList<bool>{true, true, true, false, false}
                                  << u"Se han agotado los reintentos"_s;
    QTest::newRow("nothing selected") << u"none"_s << QList<bool>{false, false, false, false, false} << QString();
}

// Selected by a right click (which asks for the menu); a click on the empty
// list area takes the selection away.
void TestActivasCommands::selectionRuleEnablesButtons()
{
    QFETCH(QString, state);
    QFETCH(QList<bool>, enabled);
    QFETCH(QString, estado);
    EngineFixture f;
    f.settings->setVecesv(0);
    HttpScriptServer server;
    server.setResource(u"/s"_s, testing::testBytes(50000), stallAfter(20000));

    int slot = 0;
    if (state == u"finished"_s || state == u"none"_s) {
        slot = addFinished(f, u"done"_s);
    } else if (state == u"downloading"_s) {
        slot = f.add(server.url(u"/s"_s), u"s"_s);
        QTRY_COMPARE_WITH_TIMEOUT(f.window->entry(slot).position, qint64(20001), kWaitMs);
    } else {
        slot = f.add(u"http://127.0.0.1:9/c"_s, u"c"_s);
        if (state == u"retries over"_s) {
            QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(slot).redo->isRunning(), kWaitMs);
            f.window->redoTick(slot);
        }
    }
    QVERIFY(slot > 0);
    QSignalSpy menu(f.window.get(), &activas::rowMenuRequested);
    emit f.window->indicador(slot)->MouseUp(2);
    QCOMPARE(f.window->selected(), slot);
    QCOMPARE(menu.size(), 1);
    if (state == u"none"_s) {
        QTest::mouseClick(f.window->findChild<QWidget *>(u"frame"_s), Qt::LeftButton, {}, QPoint(5, 200));
        QCOMPARE(f.window->selected(), 0);
        QVERIFY(!f.window->indicador(slot)->selected());
    }

    const QStringList keys = {u"detener"_s, u"pausar"_s, u"continuar"_s, u"open"_s, u"antivirus"_s};
    for (int k = 0; k < keys.size(); ++k)
        QVERIFY2(f.window->commandEnabled(keys[k]) == enabled[k], qPrintable(keys[k]));

    QString shown;
    QString title;
    QString downloaded;
    f.prompts.dialogs.enqueue([&](QDialog &dialog) {
        auto *d = qobject_cast<detallado *>(&dialog);
        shown = d->estado();
        title = d->windowTitle();
        downloaded = d->downloaded();
        return int(QDialog::Accepted);
    });
    f.window->CallProp();
    QCOMPARE(shown, estado);
    if (state == u"finished"_s) {
        QCOMPARE(title, u"Información de "_s + f.target(u"done"_s));
        QCOMPARE(downloaded, u"Descargados 2000 de 2000"_s);
    }
}

// The row's command and the details window set the same limit; a bad answer
// is told and changes nothing; the limit goes with the download, not the slot.
void TestActivasCommands::ownSpeedLimitFromMenuAndDetails()
{
    EngineFixture f;
    const int slot = f.add(u"http://127.0.0.1:9/lento"_s, u"lento"_s);
    f.window->selectRow(slot);
    f.prompts.texts << u"250"_s << u"mucho"_s << u"-1"_s << QString();
    for (int k = 0; k < 4; ++k)
        f.window->CallLimit();
    QCOMPARE(f.window->table().slot(slot).ownLimitKb, 250);
    QCOMPARE(f.prompts.messages().size(), 2);
    QVERIFY(f.prompts.messages().first().startsWith(u"El límite debe ser un número entero"_s));

    QStringList shown;
    f.prompts.texts << u"0"_s;
    f.prompts.dialogs.enqueue([&](QDialog &dialog) {
        auto *d = qobject_cast<detallado *>(&dialog);
        shown << d->limit();
        d->findChild<QPushButton *>(u"limitar"_s)->click();
        shown << d->limit();
        return int(QDialog::Accepted);
    });
    f.window->CallProp();
    QCOMPARE(shown, (QStringList{u"250 Kb/seg"_s, u"sin límite"_s}));
    QCOMPARE(f.window->table().slot(slot).ownLimitKb, 0);

    f.window->table().setSpeedLimit(slot, 80);
    f.window->table().remove(slot, false);
    const int again = f.add(u"http://127.0.0.1:9/otra"_s, u"otra"_s);
    QCOMPARE(again, slot);
    QCOMPARE(f.window->table().slot(again).ownLimitKb, 0);
}

void TestActivasCommands::cancelAsksThenDeletesTheDownload()
{
    EngineFixture f;
    HttpScriptServer server;
    server.setResource(u"/big"_s, testing::testBytes(100000), stallAfter(30000));
    const int slot = f.add(server.url(u"/big"_s), u"big"_s);
    QTRY_COMPARE_WITH_TIMEOUT(f.window->entry(slot).position, qint64(30001), kWaitMs);
    f.window->selectRow(slot);
    const QString file = f.target(u"big"_s);

    f.prompts.yesNo.enqueue(false);
    f.window->CallCancel();
    QCOMPARE(f.prompts.count(u"question"_s), 1);
    QCOMPARE(f.prompts.asked.last().text, u"¿Seguro que desea cancelar la transferencia de "_s + file + u"?"_s);
    QVERIFY(f.window->existe(slot));
    QVERIFY(QFile::exists(file));
    QVERIFY(logEntries().isEmpty());
    QCOMPARE(f.window->selected(), slot);

    f.prompts.yesNo.enqueue(true);
    f.window->CallCancel();
    QVERIFY(!f.window->existe(slot));
    QVERIFY(!f.window->indicador(slot));
    // The transfer deletes the file on its own thread; until it reports it
    // gone, no other download may take it.
    QVERIFY(f.window->targetTaken(file));
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(file) && !f.window->targetTaken(file), kWaitMs);
    QVERIFY(lastLogIs(u"\r\nCancelada la descarga de "_s + file + u" a las "_s, 0x000080));
    QVERIFY(kClock.match(logEntries().last().text).hasMatch());
    QCOMPARE(f.window->selected(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, kWaitMs);

    // A cancel right before the program ends still deletes its file.
    const int late = f.add(server.url(u"/big"_s), u"late"_s);
    QTRY_COMPARE_WITH_TIMEOUT(f.window->entry(late).position, qint64(30001), kWaitMs);
    f.window->selectRow(late);
    f.prompts.yesNo.enqueue(true);
    f.window->CallCancel();
    f.window.reset();
    QVERIFY(!QFile::exists(f.target(u"late"_s)));
}

void TestActivasCommands::pauseHandsTheDownloadToTheQueue_data()
{
    QTest::addColumn<bool>("ranges");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<bool>("queueFull");
    QTest::newRow("resumable: no question") << true << false << false << true << false;
    QTest::newRow("not resumable, Yes") << false << true << true << true << false;
    QTest::newRow("not resumable, No") << false << false << true << false << false;
    QTest::newRow("queue full: it stays") << true << false << false << false << true;
}

void TestActivasCommands::pauseHandsTheDownloadToTheQueue()
{
    QFETCH(bool, ranges);
    QFETCH(bool, answer);
    QFETCH(bool, asked);
    QFETCH(bool, paused);
    QFETCH(bool, queueFull);
    EngineFixture f;
    KeepingQueue queue(f.folder);
    queue.active = f.window.get();
    queue.rows = queueFull ? activas::kSlots : 1;
    f.window->setQueue(&queue);
    HttpScriptServer server;
    const QByteArray body = testing::testBytes(100000);
    server.setResource(u"/p"_s, body, stallAfter(30000, ranges));
    const int slot = f.add(server.url(u"/p"_s), u"p"_s);
    QTRY_COMPARE_WITH_TIMEOUT(f.window->entry(slot).position, qint64(30001), kWaitMs);
    QCOMPARE(f.window->entry(slot).resumable, ranges);
    QVERIFY(f.window->writeListNow().isEmpty());
    f.window->selectRow(slot);

    f.prompts.yesNo.enqueue(answer);
    f.window->CallPause();
    QCOMPARE(f.prompts.count(u"question"_s), asked ? 1 : 0);
    if (asked)
        QVERIFY(f.prompts.asked.last().text.startsWith(u"Advertencia: Este servidor no soporta la reanudación"_s));
    QCOMPARE(f.window->existe(slot), !paused);
    QCOMPARE(queue.added.size(), paused ? 1 : 0);
    QCOMPARE(f.prompts.messages(),
             queueFull ? QStringList{u"Se ha alcanzado el máximo de descargas en cola."_s} : QStringList());
    // The partial file stays for the next start.
    QCOMPARE(testing::readFile(f.target(u"p"_s)), body.left(30000));
    if (!paused) {
        QVERIFY(logEntries().isEmpty());
        return;
    }
    const KeepingQueue::Added &a = queue.added[0];
    QCOMPARE(a.url, server.url(u"/p"_s));
    QCOMPARE(a.file, f.target(u"p"_s));
    QCOMPARE(a.size, qint64(100000));
    QCOMPARE(a.position, qint64(30001));
    QCOMPARE(a.resumable, ranges);
    QVERIFY(!a.locked);
    QVERIFY(a.activeListHadIt);
    QVERIFY(lastLogIs(u"\r\nPausada la descarga de "_s + f.target(u"p"_s) + u" a las "_s, 0x00C4C4));
    QVERIFY(logEntries().last().text.endsWith(u" cuando llevaba descargado 30000 bytes"_s));
    QCOMPARE(f.window->selected(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!f.folder.read(u"activas.dwn"_s).contains(server.url(u"/p"_s).toUtf8()), kWaitMs);
}

void TestActivasCommands::reconnectAfterRetriesRanOutResumes()
{
    EngineFixture f;
    f.settings->setVecesv(0);
    HttpScriptServer server;
    const QByteArray body = testing::testBytes(200000);
    HttpScriptServer::Options cut;
    cut.cutAfterBytes = 70000;
    server.enqueueResource(u"/r"_s, body, cut);
    server.setResource(u"/r"_s, body);
    const int slot = f.add(server.url(u"/r"_s), u"r"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(slot).redo->isRunning(), kWaitMs);
    f.window->redoTick(slot);
    QVERIFY(f.window->indicador(slot)->redoend());
    QCOMPARE(server.requests().size(), 1);

    // Seconds without data go on counting while the retries are over.
    for (int k = 0; k < 12; ++k)
        f.window->tiempotransTick();
    f.settings->setVecesv(3);
    f.window->selectRow(slot);
    f.window->CallContinue();
    // The new attempt is not judged by the old silence.
    f.window->tiempotransTick();
    QVERIFY(!f.window->slot(slot).redo->isRunning());
    QVERIFY(!f.window->indicador(slot)->redoend());
    QVERIFY(!f.window->commandEnabled(u"continuar"_s));
    QCOMPARE(f.window->slot(slot).retriesLeft, 3);
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), kWaitMs);
    QCOMPARE(testing::readFile(f.target(u"r"_s)), body);
    QCOMPARE(server.requests().size(), 2);
    QCOMPARE(server.requests()[1].rangeStart(), 70000);
}

// The server's file changed size: the download stopped, and reconnecting
// fetches the new file from its first byte.
void TestActivasCommands::reconnectAfterSizeChangeStartsOver()
{
    EngineFixture f;
    HttpScriptServer server;
    HttpScriptServer::Options cut;
    cut.cutAfterBytes = 70000;
    server.enqueueResource(u"/v"_s, testing::testBytes(200000, 1), cut);
    const QByteArray now = testing::testBytes(300000, 2);
    server.setResource(u"/v"_s, now);
    const int slot = f.add(server.url(u"/v"_s), u"v"_s);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->slot(slot).redo->isRunning(), kWaitMs);
    f.window->redoTick(slot);
    QTRY_VERIFY_WITH_TIMEOUT(f.window->indicador(slot)->redoend(), kWaitMs);
    QVERIFY(f.window->slot(slot).sizeChanged());

    f.window->selectRow(slot);
    QVERIFY(f.window->commandEnabled(u"continuar"_s));
    f.window->CallContinue();
    QVERIFY(!f.window->slot(slot).sizeChanged());
    QTRY_VERIFY_WITH_TIMEOUT(f.finished(slot), kWaitMs);
    QCOMPARE(testing::readFile(f.target(u"v"_s)), now);
    QCOMPARE(server.requests().last().rangeStart(), 0);
    QCOMPARE(f.window->entry(slot).size, qint64(300000));
}

void TestActivasCommands::finishedFileIsOpenedAndScanned()
{
    EngineFixture f;
    const QString name = u"informe \"final\" de 'mayo'.bin"_s;
    const int slot = addFinished(f, name);
    QVERIFY(slot > 0);
    f.window->selectRow(slot);
    const QString file = f.target(name);

    f.window->CallExe();
    QCOMPARE(f.shell.opened, QStringList{file});
    QVERIFY(lastLogIs(u"\r\nEjecutado el archivo "_s + file + u" a las "_s, 0x408080));

    f.settings->setVirus(QString());
    f.window->CallAntiv();
    QCOMPARE(f.prompts.messages(), QStringList{u"No hay ningún antivirus configurado."_s});
    QCOMPARE(f.prompts.asked.last().icon, platform::Icon::Exclamation);
    QVERIFY(f.shell.started.isEmpty());

    const QString virus = f.folder.file(u"mi \"antivirus\"/scan it"_s);
    f.settings->setVirus(virus);
    f.window->CallAntiv();
    QCOMPARE(f.shell.started, (QList<QStringList>{{virus, file}}));

    // The desktop's own shell, with a program that is not there.
    f.settings->setVirus(f.folder.file(u"no existe/av"_s));
    platform::setShell(nullptr);
    f.window->CallAntiv();
    platform::setShell(&f.shell);
    QVERIFY(f.window->existe(slot));
    QVERIFY(!f.statusTexts(3).isEmpty());
    QVERIFY(f.statusTexts(3).last().startsWith(u"No se ha podido ejecutar el antivirus "_s));
    QVERIFY(lastLogIs(u"\r\nNo se ha podido ejecutar el antivirus "_s, 0x0000FF));
}

void TestActivasCommands::switchOffOnlyWhenEverythingEnded()
{
    EngineFixture f;
    KeepingQueue queue(f.folder);
    f.window->setQueue(&queue);
    f.window->setShutdownPressed(true);
    f.window->shutdownTick();
    QCOMPARE(f.shell.powerOffs, 0); // no download yet

    QVERIFY(addFinished(f, u"a"_s) > 0);
    const int running = f.add(u"http://127.0.0.1:9/b"_s, u"b"_s);
    f.window->shutdownTick();
    QCOMPARE(f.shell.powerOffs, 0);

    // Released before the last one ended: nothing happens.
    f.window->setShutdownPressed(false);
    f.window->delfile(running, false);
    f.window->shutdownTick();
    QCOMPARE(f.shell.powerOffs, 0);

    // A list that cannot be saved keeps the computer on.
    f.window->setShutdownPressed(true);
    queue.saveError = u"Disco lleno"_s;
    f.window->shutdownTick();
    QCOMPARE(f.shell.powerOffs, 0);
    QVERIFY(f.statusTexts(3).last().contains(u"Disco lleno"_s));
    QVERIFY(!f.window->shutdownPressed());

    f.window->setShutdownPressed(true);
    queue.saveError.clear();
    const int saves = queue.saves;
    f.window->shutdownTick();
    QCOMPARE(f.shell.powerOffs, 1);
    QCOMPARE(queue.saves, saves + 1);
    QVERIFY(QFile::exists(f.folder.file(u"activas.dwn"_s)));
    f.window->shutdownTick();
    f.window->shutdownTick();
    QCOMPARE(f.shell.powerOffs, 1);
}

// With finished rows taken off the list, the list ends empty: a download
// that ended while the button was pressed still counts.
void TestActivasCommands::switchOffAfterFinishedRowsLeftTheList()
{
    EngineFixture f;
    f.settings->setDellista(true);
    HttpScriptServer server;
    server.setResource(u"/d"_s, testing::testBytes(5000));
    server.setResource(u"/e"_s, testing::testBytes(3000));
    f.window->setShutdownPressed(true);
    const int running = f.add(u"http://127.0.0.1:9/r"_s, u"r"_s);
    const int slot = f.add(server.url(u"/d"_s), u"d"_s);
    QTRY_VERIFY_WITH_TIMEOUT(!f.window->existe(slot), kWaitMs);
    f.window->shutdownTick();
    QCOMPARE(f.shell.powerOffs, 0);

    // The last running one paused or cancelled: it did not end, so nothing
    // ended while pressed is left to count.
    f.window->delfile(running, false);
    f.window->shutdownTick();
    QCOMPARE(f.shell.powerOffs, 0);

    // A later finish counts again.
    const int later = f.add(server.url(u"/e"_s), u"e"_s);
    QTRY_VERIFY_WITH_TIMEOUT(!f.window->existe(later), kWaitMs);
    f.window->shutdownTick();
    QCOMPARE(f.shell.powerOffs, 1);
}

QTEST_MAIN(TestActivasCommands)
#include "tst_activas_commands.moc"
