// "Cargar lista de archivo" from the main window: a file that is no list is
// refused with one message, before any window fills with its garbage.
#include "engine/activas.h"
#include "engine/inactivas.h"
#include "log/log_append.h"
#include "main/mainwindow.h"
#include "scripted_prompts.h"
#include "test_folder.h"

#include <QAction>
#include <QRandomGenerator>
#include <QtTest>

using namespace Qt::StringLiterals;

class TstLinkListLoad : public QObject {
    Q_OBJECT
private slots:
    void init() { clearLogEntries(); }
    void notAList_data();
    void notAList();
};

void TstLinkListLoad::notAList_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray binary(2 * 1024 * 1024, '\0');
    QRandomGenerator random(7);
    for (char &c : binary)
        c = char(random.bounded(256));
    QTest::newRow("binary") << binary;
    QTest::newRow("megabytes of text, no address")
        << QByteArray("Una línea de registro, con comas, sin dirección alguna\r\n").repeated(100'000);
    // Sound at its start, but larger than any list: never read in part.
    QTest::newRow("a list beyond 16 MB") << QByteArray("Tandrel\r\nhttp://127.0.0.1:9/\r\nx\r\n")
                                                + QByteArray("a.bin\r\nx\r\n").repeated(1'700'000);
}

void TstLinkListLoad::notAList()
{
    QFETCH(QByteArray, bytes);
    testing::ScriptedPrompts prompts;
    testing::TestFolder folder;
    folder.write(u"lista.txt"_s, bytes);
    MainWindow window;
    clearLogEntries();
    prompts.asked.clear();

    prompts.texts.enqueue(folder.file(u"lista.txt"_s));
    window.action(u"loadlist"_s)->trigger();
    QCOMPARE(prompts.messages().size(), 1);
    QVERIFY2(prompts.messages().first().startsWith(u"El archivo no es una lista de archivos: "_s),
             qPrintable(prompts.messages().first()));
    QCOMPARE(prompts.count(u"dialog"_s), 0);
    QCOMPARE(logEntries().size(), 0);
    QCOMPARE(window.active()->loadedRows() + window.queue()->loadedRows(), 2);
}

QTEST_MAIN(TstLinkListLoad)
#include "tst_link_list_load.moc"
