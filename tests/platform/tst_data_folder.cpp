// Where the program keeps its data and where it finds what it ships: beside
// itself in a build or copied folder, the user's data folder when installed
// or unable to write there.
#include "core/program_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
bool makeFile(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}

QFile::Permissions ownerOnly()
{
    return QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
}
} // namespace

class TestDataFolder : public QObject {
    Q_OBJECT
private slots:
    void choice_data();
    void choice();
    void uncreatableFolderIsReported();
    void resources_data();
    void resources();
};

// Layouts: "build" has msg/ beside the program; "installed" is bin/ with
// share/tandrel/ beside it; "readonly" is a build folder the user cannot
// write.
void TestDataFolder::choice_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("xdg"); // relative to the temporary root, "" unset
    QTest::addColumn<bool>("xdgAbsolute");
    QTest::addColumn<QString>("expected"); // "beside", or a folder under the root

    QTest::newRow("build folder keeps its data") << u"build"_s << u"xdg"_s << true << u"beside"_s;
    QTest::newRow("installed copy uses XDG_DATA_HOME") << u"installed"_s << u"xdg"_s << true << u"xdg/tandrel"_s;
    QTest::newRow("installed, no XDG_DATA_HOME")
        << u"installed"_s << QString() << true << u"home/.local/share/tandrel"_s;
    QTest::newRow("installed, relative XDG_DATA_HOME is ignored")
        << u"installed"_s << u"xdg"_s << false << u"home/.local/share/tandrel"_s;
    QTest::newRow("read-only folder") << u"readonly"_s << u"xdg"_s << true << u"xdg/tandrel"_s;
}

void TestDataFolder::choice()
{
    QFETCH(QString, layout);
    QFETCH(QString, xdg);
    QFETCH(bool, xdgAbsolute);
    QFETCH(QString, expected);

    QTemporaryDir root;
    const QString r = root.path();
    const QString exe = r + u"/prefix/bin"_s;
    QVERIFY(QDir().mkpath(exe));
    if (layout == u"installed"_s)
        QVERIFY(makeFile(r + u"/prefix/share/tandrel/msg/error.gif"_s));
    else
        QVERIFY(makeFile(exe + u"/msg/error.gif"_s));
    if (layout == u"readonly"_s) {
        QVERIFY(QFile::setPermissions(exe, QFile::ReadOwner | QFile::ExeOwner));
        if (QFileInfo(exe).isWritable())
            QSKIP("this user writes into read-only folders (root)");
    }
    const QString xdgValue = xdg.isEmpty() ? QString() : (xdgAbsolute ? r + u'/' + xdg : xdg);

    const platform::DataFolder d = platform::chooseDataFolder(exe, xdgValue, r + u"/home"_s);
    QFile::setPermissions(exe, ownerOnly());

    QVERIFY2(d.error.isEmpty(), qPrintable(d.error));
    if (expected == u"beside"_s) {
        QVERIFY(d.besideProgram);
        QCOMPARE(d.path, QDir::toNativeSeparators(exe));
        return;
    }
    QVERIFY(!d.besideProgram);
    QCOMPARE(d.path, QDir::toNativeSeparators(r + u'/' + expected));
    // Every level it had to make is the user's alone; nothing lands beside the program.
    const QFile::Permissions others =
        QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    for (QString level = r + u'/' + expected; level != r; level = QFileInfo(level).path()) {
        QCOMPARE(QFileInfo(level).permissions() & others, QFile::Permissions());
        QCOMPARE(QFileInfo(level).permissions() & ownerOnly(), ownerOnly());
    }
    const QStringList shipped = layout == u"installed"_s ? QStringList() : QStringList{u"msg"_s};
    QCOMPARE(QDir(exe).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), shipped);
}

// A data folder that cannot be made is told in words, not silently
// replaced by another place.
void TestDataFolder::uncreatableFolderIsReported()
{
    QTemporaryDir root;
    const QString exe = root.filePath(u"prefix/bin"_s);
    QVERIFY(makeFile(root.filePath(u"prefix/share/tandrel/help.html"_s)));
    QVERIFY(QDir().mkpath(exe));
    QVERIFY(makeFile(root.filePath(u"blocked"_s))); // a file where a folder should be

    const platform::DataFolder d =
        platform::chooseDataFolder(exe, root.filePath(u"blocked/data"_s), root.filePath(u"home"_s));
    QVERIFY(!d.besideProgram);
    QVERIFY(d.error.startsWith(u"No se ha podido crear la carpeta de datos "_s));
    QVERIFY(d.error.endsWith(QDir::toNativeSeparators(root.filePath(u"blocked/data/tandrel"_s))));
}

void TestDataFolder::resources_data()
{
    QTest::addColumn<QStringList>("present"); // under the temporary root
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    QTest::newRow("beside the program") << QStringList{u"bin/help.html"_s, u"share/tandrel/help.html"_s}
                                        << u"help.html"_s << u"bin/help.html"_s;
    QTest::newRow("installed") << QStringList{u"share/tandrel/msg/ding.wav"_s} << u"msg/ding.wav"_s
                               << u"share/tandrel/msg/ding.wav"_s;
    QTest::newRow("nowhere names the place beside")
        << QStringList{u"share/tandrel/help.html"_s} << u"inicio.html"_s << u"bin/inicio.html"_s;
}

void TestDataFolder::resources()
{
    QFETCH(QStringList, present);
    QFETCH(QString, name);
    QFETCH(QString, expected);

    QTemporaryDir root;
    for (const QString &p : present)
        QVERIFY(makeFile(root.filePath(p)));
    const QString bin = root.filePath(u"bin"_s);
    QDir().mkpath(bin);
    const QString found = platform::findResource(bin, bin, QDir::toNativeSeparators(name));
    QCOMPARE(QDir::fromNativeSeparators(QDir::cleanPath(found)), root.filePath(expected));
}

QTEST_GUILESS_MAIN(TestDataFolder)
#include "tst_data_folder.moc"
