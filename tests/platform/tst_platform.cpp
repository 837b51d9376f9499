// The small platform rules the rest of the program leans on.
#include "core/interval_timer.h"
#include "core/program_folder.h"
#include "platform/file_list_model.h"
#include "platform/loop_probe.h"
#include "platform/qt_prompts.h"
#include "platform/twips.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void intervalZeroMeansStopped();
    void programFilesSitInTheProgramFolder();
    void twipsRoundTrip();
    void boxesSpeakSpanish();
    void noticeOverAModalWindowCanBeDismissed();
    void fileChooserListsInSpanish();
    void loopProbeNamesTheStall();
};

void TestPlatform::intervalZeroMeansStopped()
{
    platform::IntervalTimer timer;
    QSignalSpy ticks(&timer, &platform::IntervalTimer::timeout);
    QVERIFY(!timer.isRunning());
    timer.setInterval(20);
    QVERIFY(timer.isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 2, 2000); // it repeats until stopped
    timer.setInterval(0);
    const qsizetype seen = ticks.size();
    QTest::qWait(80);
    QCOMPARE(ticks.size(), seen);
    timer.setInterval(-5);
    QVERIFY(!timer.isRunning());
    QCOMPARE(timer.interval(), 0);
}

void TestPlatform::programFilesSitInTheProgramFolder()
{
    const QString sep = QDir::separator();
    platform::setProgramFolder(u"/opt/tandrel"_s + sep);
    QCOMPARE(platform::programFolder(), u"/opt/tandrel"_s);
    QCOMPARE(platform::programFile(u"activas.dwn"_s), u"/opt/tandrel"_s + sep + u"activas.dwn"_s);
    QCOMPARE(platform::withTrailingSeparator(u"/a"_s), u"/a"_s + sep);
    QCOMPARE(platform::withTrailingSeparator(u"/a"_s + sep), u"/a"_s + sep);
    platform::setProgramFolder({});
    QCOMPARE(platform::programFolder(), QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
}

void TestPlatform::twipsRoundTrip()
{
    QCOMPARE(platform::twipsToPixels(300), 20); // one row
    QCOMPARE(platform::twipsToPixels(7), 0);    // nearest pixel
    QCOMPARE(platform::twipsToPixels(8), 1);
    QCOMPARE(platform::twipsToPixels(-300), -20);
    QCOMPARE(platform::pixelsToTwips(platform::twipsToPixels(1500)), 1500);
}

// The real boxes, answered by a click on the button the user would read:
// their words must not depend on Qt's translations being installed.
// A notice raised while a modal window is open is still answered by a click,
// as the user would, through the window system's own delivery.
void TestPlatform::noticeOverAModalWindowCanBeDismissed()
{
    platform::QtPrompts prompts;
    QDialog modal;
    modal.setModal(true);
    modal.show();
    QVERIFY(QTest::qWaitForWindowExposed(&modal));
    QCOMPARE(QApplication::activeModalWidget(), &modal);
    prompts.notice(u"Conexión rechazada"_s, QString());
    QMessageBox *box = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *b = qobject_cast<QMessageBox *>(w); b && b->text() == u"Conexión rechazada"_s && b->isVisible())
            box = b;
    QVERIFY(box);
    // Part of the modal window's family, so the modality lets it through.
    QCOMPARE(box->parentWidget(), &modal);
    QVERIFY(QTest::qWaitForWindowExposed(box));
    QAbstractButton *ok = box->buttons().constFirst();
    QPointer<QMessageBox> alive(box);
    QTest::mouseClick(ok, Qt::LeftButton);
    QTRY_VERIFY(!alive || !alive->isVisible());
    QVERIFY(modal.isVisible());
}

// Whatever the system's locale, the chooser's dates follow the program's, and
// the programs' chooser lists folders and executable files only.
void TestPlatform::fileChooserListsInSpanish()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(u"carpeta"_s));
    QFile plain(dir.filePath(u"texto.txt"_s));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QFile program(dir.filePath(u"escanear"_s));
    QVERIFY(program.open(QIODevice::WriteOnly));
    program.close();
    QVERIFY(program.setPermissions(program.permissions() | QFile::ExeOwner));

    QFileSystemModel files;
    const QModelIndex root = files.setRootPath(dir.path());
    QTRY_COMPARE(files.rowCount(root), 3);
    platform::FileListModel shown;
    shown.setSourceModel(&files);
    const QModelIndex shownRoot = shown.mapFromSource(root);
    const auto row = [&](const QString &name) { return shown.mapFromSource(files.index(dir.filePath(name))).row(); };
    QCOMPARE(shown.index(row(u"carpeta"_s), 2, shownRoot).data().toString(), u"Carpeta"_s);
    const QDateTime when = QFileInfo(dir.filePath(u"texto.txt"_s)).lastModified();
    QCOMPARE(shown.index(row(u"texto.txt"_s), 3, shownRoot).data().toString(),
             QLocale(QLocale::Spanish, QLocale::Spain).toString(when, QLocale::ShortFormat));

    // Folders before files, as without this model.
    shown.sort(0);
    QCOMPARE(row(u"carpeta"_s), 0);
    shown.sort(0, Qt::DescendingOrder);
    QCOMPARE(row(u"carpeta"_s), 0);
    shown.setProgramsOnly(true);
    QCOMPARE(shown.rowCount(shownRoot), 2);
    QCOMPARE(row(u"texto.txt"_s), -1);
    QVERIFY(row(u"escanear"_s) >= 0);
    shown.setProgramsOnly(false);
    QCOMPARE(shown.rowCount(shownRoot), 3);
    QLocale::setDefault(saved);
}

void TestPlatform::boxesSpeakSpanish()
{
    platform::QtPrompts prompts;
    QStringList seen;
    const auto clickLater = [&seen](const QString &text) {
        QTimer::singleShot(50, [&seen, text] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            for (QAbstractButton *button : box->buttons())
                seen << button->text();
            for (QAbstractButton *button : box->buttons())
                if (button->text() == text)
                    button->click();
        });
    };
    clickLater(u"&No"_s);
    QVERIFY(!prompts.question(u"¿Seguro?"_s, {}));
    clickLater(u"&Sí"_s);
    QVERIFY(prompts.question(u"¿Seguro?"_s, {}));
    clickLater(u"&Aceptar"_s);
    prompts.message(u"Hecho."_s, platform::Icon::Information, {});
    seen.sort();
    QCOMPARE(seen, (QStringList{u"&Aceptar"_s, u"&No"_s, u"&No"_s, u"&Sí"_s, u"&Sí"_s}));
}

// Off, the probe is not made; on, a handler that keeps the loop 40 ms is
// reported as a gap, with the event that took the time.
void TestPlatform::loopProbeNamesTheStall()
{
    QVERIFY(!platform::LoopProbe::startIfWanted(this));
    QLoggingCategory::setFilterRules(u"tandrel.loop.debug=true"_s);
    std::unique_ptr<platform::LoopProbe> probe(platform::LoopProbe::startIfWanted(nullptr));
    QVERIFY(probe);
    // The window is up after one turn; the stall comes later.
    probe->startUpDone();
    {
        QEventLoop first;
        QTimer::singleShot(10, &first, &QEventLoop::quit);
        first.exec();
    }
    QTest::ignoreMessage(
        QtDebugMsg,
        QRegularExpression(
            u"^gap of \\d+ ms; \\d+ events, the longest \\d+ ms: event \\d+ for a TestPlatform, at \\d+ ms$"_s));
    // A real loop, which waits for events between turns as the program's does.
    QEventLoop loop;
    QTimer::singleShot(0, this, [] { QThread::msleep(40); });
    QTimer::singleShot(100, &loop, &QEventLoop::quit);
    loop.exec();
    QVERIFY2(probe->longestMs() >= 40, qPrintable(QString::number(probe->longestMs())));
    QTest::ignoreMessage(
        QtDebugMsg,
        QRegularExpression(
            u"^longest gap of the window thread: \\d+ ms, in \\d+ events, the longest \\d+ ms: event \\d+ for a TestPlatform, at \\d+ ms; at start-up: \\d+ ms$"_s));
    probe.reset();
    QLoggingCategory::setFilterRules(QString());
}

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
