// "Cargar lista de archivo" from the main window: a file that is no list is
// refused with one message, and a batch of wrong addresses is logged in one
// entry, whatever their number.
#include "engine/activas.h"
#include "engine/inactivas.h"
#include "links/oldsupport.h"
#include "log/log_append.h"
#include "main/mainwindow.h"
#include "scripted_prompts.h"
#include "test_folder.h"

#include <QAction>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QtTest>

using namespace Qt::StringLiterals;

class TstLinkListLoad : public QObject {
    Q_OBJECT
private slots:
    void init() { clearLogEntries(); }
    void notAList_data();
    void notAList();
    void wrongAddressesLoggedOnce();
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

// The base address edited into a wrong one: every name of the list is
// refused, in one entry that counts them.
void TstLinkListLoad::wrongAddressesLoggedOnce()
{
    testing::ScriptedPrompts prompts;
    testing::TestFolder folder;
    QByteArray list("\"x\",\"http://127.0.0.1:9/d/\",3412\r\n");
    for (int i = 0; i < 3412; ++i)
        list += "\"a" + QByteArray::number(i) + ".zip\"," + QByteArray::number(i) + "\r\n";
    folder.write(u"lista.txt"_s, list);
    MainWindow window;
    clearLogEntries();

    prompts.texts.enqueue(folder.file(u"lista.txt"_s));
    prompts.dialogs.enqueue([](QDialog &dialog) {
        auto &w = dynamic_cast<oldsupport &>(dialog);
        w.findChild<QLineEdit *>(u"url"_s)->setText(u"htp://h/d"_s);
        w.addtolist();
        return w.result();
    });
    window.action(u"loadlist"_s)->trigger();
    QCOMPARE(prompts.count(u"dialog"_s), 1);
    QCOMPARE(prompts.messages(), QStringList());
    QCOMPARE(logEntries().size(), 1);
    const QString entry = logEntries().first().text;
    QVERIFY2(
        entry.startsWith(u"\r\nNo se han agregado 3412 direcciones incorrectas: htp://h/d/a0.zip, htp://h/d/a1.zip"_s),
        qPrintable(entry));
    QVERIFY(entry.endsWith(u'…'));
    QCOMPARE(window.active()->loadedRows() + window.queue()->loadedRows(), 2);
}

QTEST_MAIN(TstLinkListLoad)
#include "tst_link_list_load.moc"
