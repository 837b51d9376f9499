#include "core/ftp_reply.h"

#include <QTest>

using Replies = QList<QByteArray>;

class TstFtpReply : public QObject {
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void overlongLine();
    void resetDropsPartialReply();
    void code_data();
    void code();
};

namespace {

Replies feedAll(FtpReplyBuffer &buffer, const QList<QByteArray> &chunks)
{
    Replies out;
    for (const QByteArray &chunk : chunks)
        out += buffer.feed(chunk);
    return out;
}

} // namespace

void TstFtpReply::replies_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<Replies>("expected");

    QTest::newRow("one reply") << QByteArray("220 Ready\r\n") << Replies{"220 Ready"};
    QTest::newRow("bare line feed") << QByteArray("331 Password\n") << Replies{"331 Password"};
    QTest::newRow("incomplete line waits") << QByteArray("220 Rea") << Replies{};
    QTest::newRow("two replies in order")
        << QByteArray("350 Restart at 0\r\n213 1234\r\n") << Replies{"350 Restart at 0", "213 1234"};
    QTest::newRow("multi-line by its closing line")
        << QByteArray("230-Welcome\r\n230-to the server\r\n230 Logged in\r\n") << Replies{"230 Logged in"};
    QTest::newRow("multi-line with uncoded and other-coded inner lines")
        << QByteArray("220-Hello\r\n  banner text\r\n220-x\r\n331 not the end\r\n220 Ready\r\n250 ok\r\n")
        << Replies{"220 Ready", "250 ok"};
    QTest::newRow("multi-line closing line is the code alone")
        << QByteArray("211-Features\r\n SIZE\r\n211\r\n") << Replies{"211"};
    QTest::newRow("unfinished multi-line gives nothing") << QByteArray("230-Welcome\r\n230-more\r\n") << Replies{};
    QTest::newRow("lines without a code are skipped") << QByteArray("\r\nhello\r\n226 Done\r\n") << Replies{"226 Done"};
    QTest::newRow("mixed line ends") << QByteArray("227 Entering (127,0,0,1,4,1)\n150 Opening\r\n")
                                     << Replies{"227 Entering (127,0,0,1,4,1)", "150 Opening"};
}

// Every stream is fed whole, byte by byte and split at every point: the
// replies must not depend on how TCP packed them.
void TstFtpReply::replies()
{
    QFETCH(QByteArray, stream);
    QFETCH(Replies, expected);

    FtpReplyBuffer whole;
    QCOMPARE(whole.feed(stream), expected);

    FtpReplyBuffer bytes;
    QList<QByteArray> single;
    for (char c : stream)
        single.append(QByteArray(1, c));
    QCOMPARE(feedAll(bytes, single), expected);

    for (qsizetype cut = 1; cut < stream.size(); ++cut) {
        FtpReplyBuffer split;
        QCOMPARE(feedAll(split, {stream.left(cut), stream.mid(cut)}), expected);
    }
}

void TstFtpReply::overlongLine()
{
    FtpReplyBuffer buffer;
    const QByteArray tail(FtpReplyBuffer::kMaxPending, 'x');
    QVERIFY(buffer.feed("550 " + tail).isEmpty());
    QVERIFY(buffer.feed(tail).isEmpty());
    // The kept start carries the code; the buffer is usable afterwards.
    const Replies got = buffer.feed("\r\n226 Done\r\n");
    QCOMPARE(got.size(), 2);
    QCOMPARE(got[0].size(), FtpReplyBuffer::kMaxPending);
    QCOMPARE(ftpReplyCode(got[0]), 550);
    QCOMPARE(got[1], QByteArray("226 Done"));
}

void TstFtpReply::resetDropsPartialReply()
{
    FtpReplyBuffer buffer;
    QVERIFY(buffer.feed("230-Welcome\r\n331 Pass").isEmpty());
    buffer.reset();
    QCOMPARE(buffer.feed("220 Ready\r\n"), Replies{"220 Ready"});
}

void TstFtpReply::code_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("code");

    QTest::newRow("reply") << QByteArray("213 1000") << 213;
    QTest::newRow("continuation") << QByteArray("230-Hi") << 230;
    QTest::newRow("code alone") << QByteArray("226") << 226;
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("short") << QByteArray("22") << 0;
    QTest::newRow("letters") << QByteArray("abc def") << 0;
    QTest::newRow("four digits") << QByteArray("2130 x") << 0;
    QTest::newRow("leading blank") << QByteArray(" 220 x") << 0;
}

void TstFtpReply::code()
{
    QFETCH(QByteArray, line);
    QFETCH(int, code);
    QCOMPARE(ftpReplyCode(line), code);
}

QTEST_GUILESS_MAIN(TstFtpReply)
#include "tst_ftp_reply.moc"
