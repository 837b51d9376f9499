// A user's road through the main window, driven headless against nginx:
// each way in, a cut, pause into the queue, continue, finish; cancel; the
// list files checked on disk at every step.
#include "core/list_file.h"
#include "core/settings_file.h"
#include "core/target_path.h"
#include "cutting_proxy.h"
#include "engine/activas.h"
#include "engine/inactivas.h"
#include "engine/wording.h"
#include "file_digest.h"
#include "log/log_append.h"
#include "main/mainwindow.h"
#include "nginx_fixture.h"
#include "scripted_prompts.h"
#include "test_folder.h"

#include <QComboBox>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
constexpr int kWaitMs = 30000;
constexpr qint64 kSize = 4 * 1024 * 1024;

QByteArray listOf(const QString &url, const QString &file, qint64 position, ListKind kind, qint32 elapsed = 0)
{
    ListRecord r;
    r.url = url;
    r.file = file;
    r.size = position > 0 ? kSize : 0;
    r.position = position;
    r.elapsed = elapsed;
    r.resumable = position > 0;
    r.ftpuser = u"anonymous"_s;
    r.ftppass = u"guestpw"_s;
    r.remember = true;
    return encodeListFile({r}, kind);
}
} // namespace

class TstAddingFlow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void quickAddCutPauseContinueFinish();
    void addDialogAndCancel();
    void fullQueueLeavesTheOldFile();
    void dropOntoTheQueueWindow();

private:
    void writeSettings(const testing::TestFolder &folder, int maxdesc, const QString &subfolder = {});

    QTemporaryDir served_;
    testing::NginxFixture nginx_;
    QByteArray digest_;
};

void TstAddingFlow::initTestCase()
{
    if (!QFile::exists(QString::fromLatin1(testing::NginxFixture::kBinary)))
        QSKIP("nginx is not installed");
    QVERIFY(testing::writeRandomFile(served_.filePath(u"two.bin"_s), kSize, 21));
    digest_ = testing::sha256OfFile(served_.filePath(u"two.bin"_s));
    QVERIFY2(nginx_.start(served_.path()), qPrintable(nginx_.errorText()));
}

void TstAddingFlow::init()
{
    clearLogEntries();
}

void TstAddingFlow::writeSettings(const testing::TestFolder &folder, int maxdesc, const QString &subfolder)
{
    SettingsValues v = defaultSettings(folder.path());
    v.defdir = folder.path() + u'/' + subfolder;
    v.wavs = false;
    v.msgdialog = false;
    v.segs = u"60"_s; // no retry of its own while the test looks
    v.segsv = 60;
    v.maxdesc = QString::number(maxdesc);
    v.maxdescval = maxdesc;
    v.connections = 1; // a cut partial file is as long as its proven bytes
    folder.write(u"tandrel.ini"_s, encodeSettings(v));
}

void TstAddingFlow::quickAddCutPauseContinueFinish()
{
    testing::ScriptedPrompts prompts;
    testing::TestFolder folder;
    // A first start's download folder does not exist yet.
    writeSettings(folder, 3, u"nueva/"_s);
    testing::CuttingProxy proxy(u"127.0.0.1"_s, nginx_.port());
    proxy.setCut(1024 * 1024, 1);
    const QString url = proxy.url(u"two.bin"_s);
    const QString file = folder.file(u"nueva/two.bin"_s);

    MainWindow window;
    window.quickadd()->setEditText(url);
    emit window.quickadd()->lineEdit()->returnPressed();
    QVERIFY(window.active()->existe(1));
    QCOMPARE(window.quickadd()->itemText(0), url);
    QCOMPARE(window.quickadd()->currentText(), QString());
    QCOMPARE(window.statusText(1), u"1/1"_s);
    window.active()->waitForSaves();
    QCOMPARE(folder.read(u"activas.dwn"_s), listOf(url, file, 0, ListKind::Active));

    // The cut leaves a partial file and the download waiting for its retry.
    QTRY_COMPARE_WITH_TIMEOUT(proxy.cutCount(), 1, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(file).size() > 0 && !window.active()->entry(1).file.isEmpty()
                                 && window.active()->entry(1).position == QFileInfo(file).size() + 1,
                             kWaitMs);
    const qint64 partial = QFileInfo(file).size();

    window.active()->selectRow(1);
    window.active()->CallPause();
    QVERIFY(!window.active()->existe(1));
    QVERIFY(window.queue()->existe(1));
    const qint32 elapsed = window.queue()->entry(1).elapsed;
    QTRY_COMPARE(folder.read(u"activas.dwn"_s), QByteArray());
    QCOMPARE(folder.read(u"inactivas.dwn"_s), listOf(url, file, partial + 1, ListKind::Inactive, elapsed));
    QCOMPARE(QFileInfo(file).size(), partial);

    window.queue()->selectRow(1);
    window.queue()->CallContinue();
    QVERIFY(!window.queue()->existe(1));
    QTRY_COMPARE(folder.read(u"inactivas.dwn"_s), QByteArray());
    QTRY_VERIFY_WITH_TIMEOUT(testing::sha256OfFile(file) == digest_, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(folder.read(u"activas.dwn"_s), QByteArray(), kWaitMs);
    QCOMPARE(proxy.connectionCount(), 2);

    QStringList log;
    for (const LogEntry &e : logEntries())
        log << e.text;
    const QString text = log.join(QString());
    QVERIFY2(text.contains(u"Descargando "_s + url + u" a "_s + file), qPrintable(text));
    QVERIFY(text.contains(u"Pausada la descarga de "_s + file));
    QVERIFY(text.contains(u"Se continúa la descarga de "_s + file));

    // The finished file is still the row's: adding it again is refused before
    // the overwrite question, and the file stays whole.
    prompts.asked.clear();
    prompts.yesNo.enqueue(true);
    QVERIFY(!window.añadir(url));
    QCOMPARE(prompts.messages(), QStringList{targetTakenText(file)});
    QCOMPARE(prompts.asked.size(), 1);
    QCOMPARE(testing::sha256OfFile(file), digest_);
    QVERIFY(!window.active()->existe(2));
    prompts.yesNo.clear();
    window.CallUnload();
}

void TstAddingFlow::addDialogAndCancel()
{
    testing::ScriptedPrompts prompts;
    testing::TestFolder folder;
    writeSettings(folder, 3);
    testing::CuttingProxy proxy(u"127.0.0.1"_s, nginx_.port());
    proxy.setCut(512 * 1024, 1);
    const QString url = proxy.url(u"two.bin"_s);
    const QString chosen = folder.file(u"elegido.bin"_s);

    MainWindow window;
    // A bad address first: told, nothing added.
    prompts.texts.enqueue(u"HTTP://x/y"_s);
    window.action(u"newurl"_s)->trigger();
    QCOMPARE(prompts.messages().last(),
             u"Debe escribir una dirección web correcta (debe empezar por http://, https:// o ftp://)"_s);
    QVERIFY(!window.active()->existe(1));

    prompts.texts.enqueue(url);
    prompts.texts.enqueue(chosen);
    window.action(u"newurl"_s)->trigger();
    QVERIFY(window.active()->existe(1));
    QCOMPARE(prompts.asked.last().kind, u"save"_s);
    QVERIFY(prompts.asked.last().extra.endsWith(u"two.bin"_s));
    QTRY_COMPARE_WITH_TIMEOUT(proxy.cutCount(), 1, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(chosen).size() > 0, kWaitMs);

    window.active()->selectRow(1);
    prompts.yesNo.enqueue(true);
    window.active()->CallCancel();
    QVERIFY(!window.active()->existe(1));
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(chosen), kWaitMs);
    QTRY_COMPARE(folder.read(u"activas.dwn"_s), QByteArray());
    QVERIFY(logEntries().last().text.contains(u"Cancelada la descarga de "_s + chosen));
    window.CallUnload();
}

// Maximum 1 sends every add to the queue; with 38 queued the quick add is
// refused, and the file the user agreed to overwrite is still there.
void TstAddingFlow::fullQueueLeavesTheOldFile()
{
    testing::ScriptedPrompts prompts;
    testing::TestFolder folder;
    writeSettings(folder, 1);
    QList<ListRecord> queued(38);
    for (int i = 0; i < queued.size(); ++i) {
        queued[i].url = u"http://127.0.0.1:9/q%1.bin"_s.arg(i);
        queued[i].file = folder.file(u"q%1.bin"_s.arg(i));
    }
    folder.write(u"inactivas.dwn"_s, encodeListFile(queued, ListKind::Inactive));
    folder.write(u"old.bin"_s, "precious");

    MainWindow window;
    QCOMPARE(window.queue()->loadedRows(), 39);
    prompts.yesNo.enqueue(true);
    window.añadir(nginx_.url(u"old.bin"_s));
    QCOMPARE(prompts.messages().last(), u"Ya se ha superado el máximo de descargas."_s);
    QCOMPARE(folder.read(u"old.bin"_s), QByteArray("precious"));
    QCOMPARE(window.queue()->loadedRows(), 39);

    // The add dialog still takes two more.
    for (int i = 0; i < 2; ++i) {
        prompts.texts.enqueue(nginx_.url(u"two.bin"_s));
        prompts.texts.enqueue(folder.file(u"d%1.bin"_s.arg(i)));
        window.addDialog();
    }
    QCOMPARE(window.queue()->loadedRows(), 41);
    QCOMPARE(window.statusText(1), u"0/40"_s);
    prompts.texts.enqueue(nginx_.url(u"two.bin"_s));
    prompts.texts.enqueue(folder.file(u"d3.bin"_s));
    window.addDialog();
    QCOMPARE(prompts.messages().last(), u"Ya se ha alcanzado el máximo posible de descargas en cola."_s);
    QVERIFY(!window.active()->existe(1));
    window.CallUnload();
}

// An address dropped on the queue window is added as on the active one: it
// starts when the maximum allows, and arrives whole.
void TstAddingFlow::dropOntoTheQueueWindow()
{
    testing::ScriptedPrompts prompts;
    testing::TestFolder folder;
    writeSettings(folder, 3);
    MainWindow window;
    const QString target = folder.file(u"soltado.bin"_s);
    prompts.texts.enqueue(target);
    QMimeData dropped;
    dropped.setText(nginx_.url(u"two.bin"_s));
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    // Without a drag in progress the application does not deliver a drop;
    // the window's own handler takes it as the real one would.
    static_cast<QObject *>(window.queue())->event(&drop);
    QVERIFY(window.active()->existe(1));
    QTRY_VERIFY_WITH_TIMEOUT(testing::sha256OfFile(target) == digest_, kWaitMs);
    window.CallUnload();
}

QTEST_MAIN(TstAddingFlow)
#include "tst_adding_flow.moc"
