// What each control reply means in the step that awaits it, row by row.
#include "core/ftp_decision.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using Act = FtpReplyDecision::Act;
Q_DECLARE_METATYPE(FtpStep)
Q_DECLARE_METATYPE(FtpReplyDecision::Act)

class TestFtpDecision : public QObject {
    Q_OBJECT
private slots:
    void decide_data();
    void decide();
    void directories_data();
    void directories();
};

void TestFtpDecision::decide_data()
{
    QTest::addColumn<FtpStep>("step");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Act>("act");
    QTest::addColumn<FtpStep>("next");
    QTest::addColumn<QStringList>("send");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<qint64>("size");

    using S = FtpStep;
    const QStringList none;
    QTest::newRow("greeting") << S::Login << QByteArray("220 Hi") << Act::Nothing << S::Login
                              << QStringList{u"USER ana"_s} << false << -1LL;
    QTest::newRow("password asked") << S::Login << QByteArray("331 Pw") << Act::Nothing << S::Login
                                    << QStringList{u"PASS pw"_s} << false << -1LL;
    QTest::newRow("logged in") << S::Login << QByteArray("230 Ok") << Act::Nothing << S::Login
                               << QStringList{u"TYPE I"_s, u"CWD /pub"_s} << false << -1LL;
    QTest::newRow("TYPE refused harmlessly")
        << S::Login << QByteArray("504 No") << Act::Nothing << S::Login << none << false << -1LL;
    QTest::newRow("folder changed") << S::Login << QByteArray("250 Ok") << Act::Nothing << S::RestZero
                                    << QStringList{u"REST 0"_s, u"SIZE x.tgz"_s} << false << -1LL;
    QTest::newRow("no such folder") << S::Login << QByteArray("550 No") << Act::Lose << S::Login << none << false
                                    << -1LL;
    QTest::newRow("login refused") << S::Login << QByteArray("530 No") << Act::AskLogin << S::Login << none << false
                                   << -1LL;
    QTest::newRow("REST 0 accepted") << S::RestZero << QByteArray("350 Ok") << Act::RestZeroDone << S::Size << none
                                     << true << -1LL;
    QTest::newRow("REST 0 refused") << S::RestZero << QByteArray("502 No") << Act::RestZeroDone << S::Size << none
                                    << false << -1LL;
    QTest::newRow("size") << S::Size << QByteArray("213 200000") << Act::SizeKnown << S::Size << none << false
                          << 200000LL;
    QTest::newRow("size negative") << S::Size << QByteArray("213 -1") << Act::SizeKnown << S::Size << none << false
                                   << -1LL;
    QTest::newRow("size text") << S::Size << QByteArray("213 big") << Act::SizeKnown << S::Size << none << false
                               << -1LL;
    QTest::newRow("size beyond 63 bits") << S::Size << QByteArray("213 99999999999999999999") << Act::SizeKnown
                                         << S::Size << none << false << -1LL;
    QTest::newRow("SIZE refused") << S::Size << QByteArray("550 No") << Act::SizeKnown << S::Size << none << false
                                  << -1LL;
    QTest::newRow("REST n accepted") << S::RestAt << QByteArray("350 Ok") << Act::RestAtDone << S::Passive
                                     << QStringList{u"PASV"_s} << true << -1LL;
    QTest::newRow("REST n refused") << S::RestAt << QByteArray("554 No") << Act::RestAtDone << S::Passive
                                    << QStringList{u"PASV"_s} << false << -1LL;
    QTest::newRow("passive") << S::Passive << QByteArray("227 Entering (127,0,0,1,4,1)") << Act::OpenData << S::Retrieve
                             << QStringList{u"RETR x.tgz"_s} << false << -1LL;
    QTest::newRow("PASV refused") << S::Passive << QByteArray("425 No") << Act::Lose << S::Passive << none << false
                                  << -1LL;
    QTest::newRow("transfer starts") << S::Retrieve << QByteArray("150 Here") << Act::Nothing << S::Retrieve << none
                                     << false << -1LL;
    QTest::newRow("transfer complete") << S::Retrieve << QByteArray("226 Done") << Act::Confirmed << S::Done << none
                                       << false << -1LL;
    QTest::newRow("transfer aborted") << S::Retrieve << QByteArray("426 Aborted") << Act::Lose << S::Retrieve << none
                                      << false << -1LL;
    QTest::newRow("a late 250 after the transfer")
        << S::Done << QByteArray("250 Ok") << Act::Nothing << S::Done << none << false << -1LL;
}

void TestFtpDecision::decide()
{
    QFETCH(FtpStep, step);
    QFETCH(QByteArray, reply);
    QFETCH(Act, act);
    QFETCH(FtpStep, next);
    QFETCH(QStringList, send);
    QFETCH(bool, accepted);
    QFETCH(qint64, size);
    const FtpNames names{u"ana"_s, u"pw"_s, u"/pub"_s, u"x.tgz"_s};
    const FtpReplyDecision d = decideFtpReply(step, reply, names);
    QCOMPARE(d.act, act);
    QCOMPARE(d.next, next);
    QCOMPARE(d.send, send);
    QCOMPARE(d.accepted, accepted);
    if (act == Act::SizeKnown)
        QCOMPARE(d.size, size);
}

void TestFtpDecision::directories_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("directory");
    QTest::newRow("nested") << u"pub/dir/x.tgz"_s << u"/pub/dir"_s;
    QTest::newRow("root") << u"x.tgz"_s << u"/"_s;
}

void TestFtpDecision::directories()
{
    QFETCH(QString, path);
    QFETCH(QString, directory);
    QCOMPARE(ftpDirectory(path), directory);
}

QTEST_GUILESS_MAIN(TestFtpDecision)
#include "tst_ftp_decision.moc"
