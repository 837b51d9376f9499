// What the program takes from its command line, and from another start of it
// over the local socket: a table each.
#include "core/command_line.h"

#include <QtTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(CommandLine::Action)

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void arguments_data();
    void arguments();
    void handOffMessages_data();
    void handOffMessages();
};

void TestCommandLine::arguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<CommandLine::Action>("action");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QString>("list");
    using A = CommandLine::Action;
    QTest::newRow("nothing") << QStringList() << A::Run << QStringList() << QString();
    QTest::newRow("addresses") << QStringList{u"http://h/a"_s, u" ftp://h/b "_s, u"https://h/c"_s} << A::Run
                               << QStringList{u"http://h/a"_s, u"ftp://h/b"_s, u"https://h/c"_s} << QString();
    QTest::newRow("a list and an address") << QStringList{u"--lista"_s, u"/tmp/l.txt"_s, u"http://h/a"_s} << A::Run
                                           << QStringList{u"http://h/a"_s} << u"/tmp/l.txt"_s;
    QTest::newRow("help wins") << QStringList{u"http://h/a"_s, u"--help"_s} << A::Help << QStringList() << QString();
    QTest::newRow("version") << QStringList{u"--version"_s} << A::Version << QStringList() << QString();
    QTest::newRow("a tandr: link") << QStringList{u"tandr:https://h/a"_s} << A::Run << QStringList{u"https://h/a"_s}
                                   << QString();
    QTest::newRow("a tandr: link to a file")
        << QStringList{u"tandr:file:///etc/passwd"_s} << A::Refused << QStringList() << QString();
    QTest::newRow("another scheme") << QStringList{u"file:///etc/passwd"_s} << A::Refused << QStringList() << QString();
    QTest::newRow("upper-case scheme") << QStringList{u"HTTP://h/a"_s} << A::Refused << QStringList() << QString();
    QTest::newRow("list without a file") << QStringList{u"--lista"_s} << A::Refused << QStringList() << QString();
    QTest::newRow("unknown option") << QStringList{u"--borrar-todo"_s} << A::Refused << QStringList() << QString();
}

void TestCommandLine::arguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(CommandLine::Action, action);
    QFETCH(QStringList, addresses);
    QFETCH(QString, list);
    const CommandLine line = parseCommandLine(arguments);
    QCOMPARE(line.action, action);
    QCOMPARE(line.error.isEmpty(), action != CommandLine::Action::Refused);
    if (action != CommandLine::Action::Run)
        return;
    QCOMPARE(line.addresses, addresses);
    QCOMPARE(line.listFile, list);
    // What a second start sends reads back the same.
    const HandOff h = decodeHandOff(encodeHandOff(line));
    if (line.handsSomething()) {
        QCOMPARE(h.error, QString());
        QCOMPARE(h.addresses, addresses);
        QCOMPARE(h.listFile, list);
    }
}

void TestCommandLine::handOffMessages_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<bool>("read");
    QTest::newRow("sound") << QByteArray(R"({"direcciones":["http://h/a"]})") << true;
    QTest::newRow("unknown fields are ignored") << QByteArray(R"({"direcciones":["ftp://h/a"],"otra":1})") << true;
    QTest::newRow("nothing to do") << QByteArray(R"({"direcciones":[]})") << false;
    QTest::newRow("truncated") << QByteArray(R"({"direcciones":["http://h/a")") << false;
    QTest::newRow("not JSON") << QByteArray("direcciones=http://h/a") << false;
    QTest::newRow("an array") << QByteArray(R"(["http://h/a"])") << false;
    QTest::newRow("a number for an address") << QByteArray(R"({"direcciones":[5]})") << false;
    QTest::newRow("a string for the list") << QByteArray(R"({"direcciones":"http://h/a"})") << false;
    QTest::newRow("another scheme") << QByteArray(R"({"direcciones":["http://h/a","javascript:x"]})") << false;
    QTest::newRow("a list that is no string") << QByteArray(R"({"lista":["/tmp/x"]})") << false;
    QTest::newRow("over the cap") << QByteArray(R"({"direcciones":["http://h/)") + QByteArray(kMaxHandOffBytes, 'a')
                                         + QByteArray(R"("]})")
                                  << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestCommandLine::handOffMessages()
{
    QFETCH(QByteArray, message);
    QFETCH(bool, read);
    const HandOff h = decodeHandOff(message);
    QCOMPARE(h.error.isEmpty(), read);
    if (!read)
        QVERIFY(h.addresses.isEmpty() || !h.error.isEmpty());
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
