#include "core/program_folder.h"
#include "core/settings_file.h"
#include "log/log_append.h"
#include "scripted_prompts.h"
#include "settings/cfg.h"
#include "test_folder.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString ini = u"tandrel.ini"_s;

SettingsValues fileValues()
{
    SettingsValues v = defaultSettings(platform::programFolder());
    v.defdir = u"/datos/bajadas/"_s;
    v.virus = u"/opt/av/scan"_s;
    v.segs = u"30"_s;
    v.segsv = 30;
    v.maxdesc = u"4"_s;
    v.maxdescval = 4;
    v.showmsg = true;
    v.msgdialog = false; // no option of the group chosen
    v.histsize = 500;
    v.ext = {u".rar"_s};
    return v;
}

void click(cfg &dialog, const QString &name)
{
    auto *b = dialog.findChild<QPushButton *>(name);
    QVERIFY2(b, qPrintable(name));
    b->click();
}

QString text(cfg &dialog, const QString &name)
{
    auto *edit = dialog.findChild<QLineEdit *>(name);
    return edit ? edit->text() : u"<missing>"_s;
}

} // namespace

class TstCfg : public QObject {
    Q_OBJECT
private slots:
    void init() { clearLogEntries(); }

    // A first start: no box, the defaults, and the file written for next time.
    void missingFileGivesDefaultsAndWritesThem()
    {
        testing::ScriptedPrompts prompts;
        testing::TestFolder folder;
        cfg dialog;
        QCOMPARE(prompts.asked.size(), 0);
        QCOMPARE(dialog.values(), defaultSettings(folder.path()));
        QCOMPARE(dialog.ext().size(), 13);
        QCOMPARE(dialog.defdir(), folder.path() + QDir::separator() + u"download"_s + QDir::separator());
        QCOMPARE(cfg::instance(), &dialog);
        QFile written(folder.file(ini));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), encodeSettings(defaultSettings(folder.path())));
    }

    void loadsFile()
    {
        testing::ScriptedPrompts prompts;
        testing::TestFolder folder;
        folder.write(ini, encodeSettings(fileValues()));
        cfg dialog;
        QVERIFY(prompts.asked.isEmpty());
        QCOMPARE(dialog.values(), fileValues());
        QCOMPARE(dialog.segsv(), 30);
        QCOMPARE(dialog.maxdesc(), 4);
        QVERIFY(!dialog.msgno() && !dialog.msgdialog() && !dialog.msgsys());
    }

    void damagedFileKeepsDefaultsForTheRest()
    {
        testing::ScriptedPrompts prompts;
        testing::TestFolder folder;
        QByteArray bytes = encodeSettings(fileValues());
        bytes.replace("\r\n5\r\n", "\r\nmuchas\r\n"); // line 7
        folder.write(ini, bytes);
        cfg dialog;
        QCOMPARE(prompts.messages().size(), 1);
        QVERIFY2(prompts.messages().first().contains(u"línea 7"_s), qPrintable(prompts.messages().first()));
        QCOMPARE(dialog.segsv(), 30);
        QCOMPARE(dialog.maxdesc(), 10);
        QCOMPARE(dialog.ext(), defaultSettings(folder.path()).ext);
    }

    void acceptWritesFileAndLogs()
    {
        testing::ScriptedPrompts prompts;
        testing::TestFolder folder;
        folder.write(ini, encodeSettings(fileValues()));
        cfg dialog;
        dialog.show();
        dialog.setMaxdesc(7);
        dialog.setMsgsys(true);
        dialog.setExt({u".iso"_s, u".exe"_s});
        click(dialog, u"acept"_s);

        QVERIFY(!dialog.isVisible());
        const QByteArray written = folder.read(ini);
        QCOMPARE(written, encodeSettings(dialog.values()));
        const SettingsReadResult back = decodeSettings(written, folder.path());
        QCOMPARE(back.values.maxdescval, 7);
        QCOMPARE(back.values.msgsys, true);
        QCOMPARE(back.values.ext, dialog.ext());

        QCOMPARE(logEntries().size(), 1);
        QCOMPARE(logEntries().first().color, 0u);
        QVERIFY(QRegularExpression(u"^\\r\\nConfiguración cambiada a las \\d\\d:\\d\\d:\\d\\d$"_s)
                    .match(logEntries().first().text)
                    .hasMatch());
        QVERIFY(prompts.asked.isEmpty());
    }

    // Empty number boxes must not write a file the next start refuses.
    void acceptWithEmptyNumberBoxes()
    {
        testing::ScriptedPrompts prompts;
        testing::TestFolder folder;
        folder.write(ini, encodeSettings(fileValues()));
        cfg dialog;
        dialog.setVecesv(3);
        dialog.setExt({u".iso"_s});
        for (const QString &name : {u"segs"_s, u"veces"_s, u"maxdesc"_s, u"wait"_s})
            dialog.findChild<QLineEdit *>(name)->setText(name == u"wait"_s ? u"pronto"_s : QString());
        dialog.acept();
        const SettingsReadResult back = decodeSettings(folder.read(ini), folder.path());
        QVERIFY2(back.ok(), qPrintable(back.error));
        QCOMPARE(back.values.vecesv, 3);
        QCOMPARE(back.values.segsv, dialog.segsv());
        QCOMPARE(back.values.ext, QStringList{u".iso"_s});
    }

    void emptyDownloadFolderIsWrittenThenRestored()
    {
        testing::ScriptedPrompts prompts;
        testing::TestFolder folder;
        folder.write(ini, encodeSettings(fileValues()));
        cfg dialog;
        dialog.setDefdir(QString());
        dialog.acept();
        QVERIFY(folder.read(ini).startsWith("\r\n"));
        QCOMPARE(dialog.defdir(), defaultSettings(folder.path()).defdir);
    }

    void failedWriteIsReported()
    {
        testing::ScriptedPrompts prompts;
        testing::TestFolder folder;
        QVERIFY(QDir(folder.path()).mkdir(ini)); // a folder where the file should go
        cfg dialog;
        QVERIFY(!dialog.writeSettings());
        QCOMPARE(prompts.messages().size(), 2); // the failed read, then the failed write
        QVERIFY(prompts.messages().last().startsWith(u"No se ha podido guardar "_s + folder.file(ini)));
        QCOMPARE(prompts.asked.last().icon, platform::Icon::Critical);
    }

    // Whatever was shown before this opening does not come back: the file does.
    void cancelRestoresFileValues_data()
    {
        QTest::addColumn<bool>("byClosing");
        QTest::newRow("Cancelar") << false;
        QTest::newRow("closing the window") << true;
    }
    void cancelRestoresFileValues()
    {
        QFETCH(bool, byClosing);
        testing::ScriptedPrompts prompts;
        testing::TestFolder folder;
        folder.write(ini, encodeSettings(fileValues()));
        cfg dialog;
        dialog.setVirus(u"shown before"_s);
        dialog.show();
        dialog.setVirus(u"edited"_s);
        dialog.setSegsv(55);
        dialog.setExt({});
        if (byClosing)
            dialog.close();
        else
            click(dialog, u"cancel"_s);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.values(), fileValues());
        QVERIFY(logEntries().isEmpty());
    }

    void addAndDeleteExtensions()
    {
        testing::ScriptedPrompts prompts;
        testing::TestFolder folder;
        folder.write(ini, encodeSettings(fileValues()));
        cfg dialog;
        prompts.texts << u".iso"_s << QString();
        click(dialog, u"add"_s);
        click(dialog, u"add"_s); // cancelled: nothing added
        QCOMPARE(dialog.ext(), (QStringList{u".rar"_s, u".iso"_s}));
        QCOMPARE(prompts.count(u"input"_s), 2);
        QCOMPARE(prompts.asked.first().text, u"Escriba la extensión del tipo de archivo con el punto (p.ej .exe)"_s);

        auto *list = dialog.findChild<QListWidget *>(u"ext"_s);
        list->setCurrentRow(0);
        list->clearSelection();
        click(dialog, u"del"_s); // nothing selected
        QCOMPARE(dialog.ext().size(), 2);
        list->setCurrentRow(0);
        click(dialog, u"del"_s);
        QCOMPARE(dialog.ext(), QStringList{u".iso"_s});
    }

    void browseButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("expected"); // empty: the box keeps its text
        QTest::newRow("antivirus chosen") << u"brvirus"_s << u"/opt/av/otro"_s << u"virus"_s << u"/opt/av/otro"_s;
        QTest::newRow("antivirus among all files")
            << u"brvirus"_s << u"/opt/av/escanear.sh"_s << u"virus"_s << u"/opt/av/escanear.sh"_s;
        QTest::newRow("antivirus cancelled") << u"brvirus"_s << QString() << u"virus"_s << QString();
        QTest::newRow("log chosen") << u"histbr"_s << u"/tmp/h.rtf"_s << u"histrut"_s << u"/tmp/h.rtf"_s;
        QTest::newRow("log pattern") << u"histbr"_s << u"*.rtf"_s << u"histrut"_s << QString();
        QTest::newRow("folder chosen") << u"brdir"_s << u"/tmp/otra"_s << u"defdir"_s
                                       << u"/tmp/otra"_s + QDir::separator();
        QTest::newRow("folder cancelled") << u"brdir"_s << QString() << u"defdir"_s << QString();
    }
    void browseButtons()
    {
        QFETCH(QString, button);
        QFETCH(QString, answer);
        QFETCH(QString, box);
        QFETCH(QString, expected);
        testing::ScriptedPrompts prompts;
        testing::TestFolder folder;
        folder.write(ini, encodeSettings(fileValues()));
        cfg dialog;
        const QString before = text(dialog, box);
        prompts.texts << answer;
        click(dialog, button);
        QCOMPARE(prompts.asked.size(), 1);
        if (button == u"brvirus"_s)
            QCOMPARE(prompts.asked.first().kind, u"program"_s); // programs first, not *.exe
        else
            QCOMPARE(prompts.asked.first().extra, before); // preset to the current path
        QCOMPARE(text(dialog, box), expected.isEmpty() ? before : expected);
    }

    void upDownWritesTextBox_data()
    {
        QTest::addColumn<QString>("updown");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("segsv") << u"segsv"_s << u"segs"_s << 20 << u"20"_s;
        QTest::newRow("segsv above range") << u"segsv"_s << u"segs"_s << 99 << u"60"_s;
        QTest::newRow("vecesv") << u"vecesv"_s << u"veces"_s << 0 << u"0"_s;
        QTest::newRow("maxdescval") << u"maxdescval"_s << u"maxdesc"_s << 40 << u"40"_s;
        QTest::newRow("waitv") << u"waitv"_s << u"wait"_s << 6 << u"6"_s;
        QTest::newRow("histsize") << u"histsize"_s << u"hsizet"_s << 4096 << u"4096"_s;
    }
    void upDownWritesTextBox()
    {
        QFETCH(QString, updown);
        QFETCH(QString, box);
        QFETCH(int, value);
        QFETCH(QString, expected);
        testing::ScriptedPrompts prompts;
        testing::TestFolder folder;
        cfg dialog;
        auto *spin = dialog.findChild<QSpinBox *>(updown);
        QVERIFY(spin);
        spin->setValue(value);
        QCOMPARE(text(dialog, box), expected);
    }

    void typedNumbersReachTheReaders()
    {
        testing::ScriptedPrompts prompts;
        testing::TestFolder folder;
        cfg dialog;
        auto *segs = dialog.findChild<QLineEdit *>(u"segs"_s);
        segs->clear();
        QTest::keyClicks(segs, u"45"_s);
        QCOMPARE(dialog.segsv(), 45);
        // The slot table holds 40 downloads, and 0 would never start one.
        auto *maxdesc = dialog.findChild<QLineEdit *>(u"maxdesc"_s);
        maxdesc->setText(u"99"_s);
        QCOMPARE(dialog.maxdesc(), 40);
        maxdesc->setText(u"x"_s);
        QCOMPARE(dialog.maxdesc(), 1);
    }
};

QTEST_MAIN(TstCfg)
#include "tst_cfg.moc"
