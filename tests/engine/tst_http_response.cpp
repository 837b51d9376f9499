#include "core/http_response.h"

#include <QTest>

using State = HttpResponseParser::State;
using ChunkState = ChunkedDecoder::State;

Q_DECLARE_METATYPE(HttpResponseParser::State)
Q_DECLARE_METATYPE(ChunkedDecoder::State)

namespace {

// The ways a byte stream may arrive: whole, byte by byte, every cut into two
// packets, and the caller's own cut points.
QList<QByteArrayList> splits(const QByteArray &bytes, const QList<int> &cuts)
{
    QList<QByteArrayList> ways;
    ways.append({bytes});
    QByteArrayList single;
    for (char c : bytes)
        single.append(QByteArray(1, c));
    ways.append(single);
    for (qsizetype k = 1; k < bytes.size(); ++k)
        ways.append({bytes.left(k), bytes.mid(k)});
    QByteArrayList custom;
    qsizetype from = 0;
    for (int cut : cuts) {
        custom.append(bytes.mid(from, cut - from));
        from = cut;
    }
    custom.append(bytes.mid(from));
    ways.append(custom);
    return ways;
}

QString describe(const QByteArrayList &packets)
{
    QStringList sizes;
    for (const QByteArray &p : packets)
        sizes << QString::number(p.size());
    return sizes.join(QLatin1Char(','));
}

} // namespace

class TestHttpResponse : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void headers();
    void contentLength_data();
    void contentLength();
    void contentRange_data();
    void contentRange();
    void headerCap();
    void reset();
    void chunked_data();
    void chunked();
};

void TestHttpResponse::parse_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QList<int>>("cuts");
    QTest::addColumn<State>("state");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    const QByteArray partial = "HTTP/1.1 206 Partial Content\r\nContent-Length: 5\r\n"
                               "Content-Range: bytes 0-4/10\r\n\r\nhello";
    const int end = partial.indexOf("\r\n\r\n");
    QTest::newRow("206, cut inside the blank line")
        << partial << QList<int>{end + 1, end + 3} << State::Complete << 206 << QByteArray("hello");
    QTest::newRow("200, header in three packets")
        << QByteArray("HTTP/1.1 200 OK\r\nServer: x\r\nContent-Length: 3\r\n\r\nabc") << QList<int>{5, 20}
        << State::Complete << 200 << QByteArray("abc");
    QTest::newRow("bare line feeds") << QByteArray("HTTP/1.0 200 OK\nContent-Length: 3\n\nabc") << QList<int>{17, 35}
                                     << State::Complete << 200 << QByteArray("abc");
    QTest::newRow("line feeds end the header before CR LF CR LF")
        << QByteArray("HTTP/1.1 200 OK\r\nA: b\n\nbody\r\n\r\nmore") << QList<int>{23} << State::Complete << 200
        << QByteArray("body\r\n\r\nmore");
    QTest::newRow("CR LF CR LF before line feeds in the body")
        << QByteArray("HTTP/1.1 200 OK\r\n\r\nx\n\ny") << QList<int>{} << State::Complete << 200
        << QByteArray("x\n\ny");
    QTest::newRow("404 with a page") << QByteArray("HTTP/1.1 404 Not Found\r\n\r\n<h1>") << QList<int>{}
                                     << State::Complete << 404 << QByteArray("<h1>");
    QTest::newRow("no body yet") << QByteArray("HTTP/1.1 302 Found\r\nLocation: http://o/x\r\n\r\n") << QList<int>{}
                                 << State::Complete << 302 << QByteArray();
    QTest::newRow("header not ended") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n") << QList<int>{}
                                      << State::Incomplete << 0 << QByteArray();
    // Anything that does not open with a status line is refused, never saved.
    QTest::newRow("not HTTP") << QByteArray("<html>\r\n\r\nhi") << QList<int>{3} << State::Bad << 0 << QByteArray();
    QTest::newRow("other version") << QByteArray("HTTP/2 200\r\n\r\nx") << QList<int>{} << State::Bad << 0
                                   << QByteArray();
    QTest::newRow("SSH banner") << QByteArray("SSH-2.0-OpenSSH_9.2\r\n") << QList<int>{2} << State::Bad << 0
                                << QByteArray();
    QTest::newRow("misspelt") << QByteArray("HTXP/1.1 200 OK\r\n\r\nx") << QList<int>{} << State::Bad << 0
                              << QByteArray();
    // Interim replies are skipped, in any packets.
    const QByteArray interim = "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </s>\r\n\r\n"
                               "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    QTest::newRow("100 and 103 before 200")
        << interim << QList<int>{10, 25, 40, 60} << State::Complete << 200 << QByteArray("ok");
    QTest::newRow("interim alone so far")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\n") << QList<int>{} << State::Incomplete << 0 << QByteArray();
    QTest::newRow("switching protocols") << QByteArray("HTTP/1.1 101 Switching\r\n\r\nx") << QList<int>{} << State::Bad
                                         << 0 << QByteArray();
    QTest::newRow("two different lengths")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100\r\nContent-Length: 5000\r\n\r\nx") << QList<int>{}
        << State::Bad << 0 << QByteArray();
    QTest::newRow("lengths in one list that differ") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5, 6\r\n\r\nx")
                                                     << QList<int>{} << State::Bad << 0 << QByteArray();
    QTest::newRow("the same length twice")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1\r\ncontent-length: 1\r\n\r\nx") << QList<int>{}
        << State::Complete << 200 << QByteArray("x");
    QTest::newRow("short, still a prefix")
        << QByteArray("HTTP/") << QList<int>{} << State::Incomplete << 0 << QByteArray();
    QTest::newRow("status not digits") << QByteArray("HTTP/1.1 2x0 OK\r\n\r\nbody") << QList<int>{} << State::Bad << 0
                                       << QByteArray();
    QTest::newRow("no status") << QByteArray("HTTP/1.1\r\n\r\n") << QList<int>{} << State::Bad << 0 << QByteArray();
}

void TestHttpResponse::parse()
{
    QFETCH(QByteArray, reply);
    QFETCH(QList<int>, cuts);
    QFETCH(State, state);
    QFETCH(int, status);
    QFETCH(QByteArray, body);

    for (const QByteArrayList &packets : splits(reply, cuts)) {
        HttpResponseParser parser;
        QByteArray got;
        for (const QByteArray &packet : packets)
            parser.feed(packet, &got);
        const QByteArray way = describe(packets).toLatin1();
        QVERIFY2(parser.state() == state, way.constData());
        QVERIFY2(got == body, QByteArray(way + " body: " + got).constData());
        if (state == State::Complete)
            QVERIFY2(parser.status() == status, way.constData());
    }
}

void TestHttpResponse::headers()
{
    HttpResponseParser parser;
    QByteArray body;
    parser.feed("HTTP/1.1 200 OK\r\ncontent-TYPE:   text/html  \r\nX-Empty:\r\nX-Twice: one\r\n"
                "X-Twice: two\r\nTransfer-Encoding: gzip, Chunked\r\n\r\nrest",
                &body);
    QCOMPARE(parser.state(), State::Complete);
    QCOMPARE(parser.statusLine(), QByteArray("HTTP/1.1 200 OK"));
    QCOMPARE(parser.header("Content-Type"), QByteArray("text/html"));
    QCOMPARE(parser.header("x-twice"), QByteArray("one"));
    QVERIFY(!parser.header("X-Empty").isNull());
    QVERIFY(parser.header("X-Empty").isEmpty());
    QVERIFY(parser.header("Location").isNull());
    QVERIFY(parser.chunked());
    QCOMPARE(parser.contentLength(), qint64(-1));

    // Once the header is done, later packets are body as they come.
    QCOMPARE(parser.feed("HTTP/1.1 200 OK\r\n\r\n", &body), State::Complete);
    QCOMPARE(body, QByteArray("restHTTP/1.1 200 OK\r\n\r\n"));
}

void TestHttpResponse::contentLength_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<qint64>("length");
    QTest::newRow("plain") << QByteArray("Content-Length: 1000") << qint64(1000);
    QTest::newRow("past 32 bits") << QByteArray("content-length:5000000000") << qint64(5000000000);
    QTest::newRow("absent") << QByteArray("Server: x") << qint64(-1);
    QTest::newRow("not a number") << QByteArray("Content-Length: many") << qint64(-1);
    QTest::newRow("trailing junk") << QByteArray("Content-Length: 12abc") << qint64(-1);
    QTest::newRow("negative") << QByteArray("Content-Length: -5") << qint64(-1);
    QTest::newRow("overflow") << QByteArray("Content-Length: 99999999999999999999") << qint64(-1);
}

void TestHttpResponse::contentLength()
{
    QFETCH(QByteArray, header);
    QFETCH(qint64, length);
    HttpResponseParser parser;
    QByteArray body;
    QCOMPARE(parser.feed("HTTP/1.1 200 OK\r\n" + header + "\r\n\r\n", &body), State::Complete);
    QCOMPARE(parser.contentLength(), length);
}

void TestHttpResponse::contentRange_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("last");
    QTest::addColumn<qint64>("total");
    QTest::newRow("plain") << QByteArray("bytes 5000-5999/6000") << true << qint64(5000) << qint64(5999)
                           << qint64(6000);
    QTest::newRow("unknown total") << QByteArray("bytes 0-4/*") << true << qint64(0) << qint64(4) << qint64(-1);
    QTest::newRow("large") << QByteArray("bytes 5000000000-5000000099/6000000000") << true << qint64(5000000000)
                           << qint64(5000000099) << qint64(6000000000);
    QTest::newRow("unsatisfied") << QByteArray("bytes */10") << true << qint64(-1) << qint64(-1) << qint64(10);
    QTest::newRow("other unit") << QByteArray("items 0-4/10") << false << qint64(0) << qint64(0) << qint64(0);
    QTest::newRow("reversed") << QByteArray("bytes 5-4/10") << false << qint64(0) << qint64(0) << qint64(0);
    QTest::newRow("past the total") << QByteArray("bytes 0-10/10") << false << qint64(0) << qint64(0) << qint64(0);
    QTest::newRow("trailing junk") << QByteArray("bytes 0-4/10x") << false << qint64(0) << qint64(0) << qint64(0);
}

void TestHttpResponse::contentRange()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, valid);
    QFETCH(qint64, first);
    QFETCH(qint64, last);
    QFETCH(qint64, total);
    HttpResponseParser parser;
    QByteArray body;
    parser.feed("HTTP/1.1 206 Partial\r\nContent-Range: " + value + "\r\n\r\n", &body);
    qint64 a = 0;
    qint64 b = 0;
    qint64 t = 0;
    QCOMPARE(parser.contentRange(&a, &b, &t), valid);
    if (valid) {
        QCOMPARE(a, first);
        QCOMPARE(b, last);
        QCOMPARE(t, total);
    }
    HttpResponseParser none;
    none.feed("HTTP/1.1 200 OK\r\n\r\n", &body);
    QVERIFY(!none.contentRange(&a, &b, &t));
}

void TestHttpResponse::headerCap()
{
    HttpResponseParser parser;
    QByteArray body;
    parser.feed("HTTP/1.1 200 OK\r\n", &body);
    const QByteArray line = "X-Filler: " + QByteArray(1000, 'a') + "\r\n";
    State state = State::Incomplete;
    for (int i = 0; i < 100 && state == State::Incomplete; ++i)
        state = parser.feed(line, &body);
    QCOMPARE(state, State::Bad);
    QCOMPARE(parser.feed("\r\n\r\nbody", &body), State::Bad);
    QVERIFY(body.isEmpty());

    // A large header under the cap is fine.
    HttpResponseParser large;
    large.feed("HTTP/1.1 200 OK\r\n" + line.repeated(50) + "\r\nxyz", &body);
    QCOMPARE(large.state(), State::Complete);
    QCOMPARE(body, QByteArray("xyz"));
}

void TestHttpResponse::reset()
{
    HttpResponseParser parser;
    QByteArray body;
    parser.feed("HTTP/1.1 302 Found\r\nLocation: http://o/x\r\n\r\n", &body);
    parser.reset();
    QCOMPARE(parser.state(), State::Incomplete);
    QVERIFY(parser.header("Location").isNull());
    QCOMPARE(parser.feed("HTTP/1.1 200 OK\r\n\r\nab", &body), State::Complete);
    QCOMPARE(parser.status(), 200);
    QCOMPARE(body, QByteArray("ab"));
}

void TestHttpResponse::chunked_data()
{
    QTest::addColumn<QByteArray>("encoded");
    QTest::addColumn<QList<int>>("cuts");
    QTest::addColumn<ChunkState>("state");
    QTest::addColumn<QByteArray>("decoded");

    QTest::newRow("one chunk") << QByteArray("5\r\nhello\r\n0\r\n\r\n") << QList<int>{2, 9} << ChunkState::Done
                               << QByteArray("hello");
    QTest::newRow("extensions") << QByteArray("5;name=v\r\nhello\r\n6 ; x\r\n world\r\n0;end\r\n\r\n")
                                << QList<int>{4, 16, 30} << ChunkState::Done << QByteArray("hello world");
    QTest::newRow("bare line feeds") << QByteArray("5\nhello\n0\n\n") << QList<int>{1, 8} << ChunkState::Done
                                     << QByteArray("hello");
    QTest::newRow("hex sizes") << QByteArray("a\r\n0123456789\r\n1F\r\n") + QByteArray(31, 'z') + "\r\n0\r\n\r\n"
                               << QList<int>{13} << ChunkState::Done << QByteArray("0123456789") + QByteArray(31, 'z');
    QTest::newRow("trailers") << QByteArray("3\r\nabc\r\n0\r\nX-Sum: 1\r\nY: 2\r\n\r\n") << QList<int>{10}
                              << ChunkState::Done << QByteArray("abc");
    QTest::newRow("bytes after the end") << QByteArray("1\r\nq\r\n0\r\n\r\nGARBAGE") << QList<int>{} << ChunkState::Done
                                         << QByteArray("q");
    QTest::newRow("unfinished") << QByteArray("5\r\nhel") << QList<int>{} << ChunkState::Data << QByteArray("hel");
    QTest::newRow("trailer unfinished") << QByteArray("1\r\nq\r\n0\r\n") << QList<int>{} << ChunkState::Data
                                        << QByteArray("q");
    QTest::newRow("size not hex") << QByteArray("zz\r\nhello") << QList<int>{} << ChunkState::Bad << QByteArray();
    QTest::newRow("empty size line") << QByteArray("\r\n5\r\nhello") << QList<int>{} << ChunkState::Bad << QByteArray();
    QTest::newRow("data longer than its size")
        << QByteArray("5\r\nhelloX\r\n0\r\n\r\n") << QList<int>{} << ChunkState::Bad << QByteArray("hello");
    QTest::newRow("size too large") << QByteArray("FFFFFFFFFFFFFFFF\r\n") << QList<int>{} << ChunkState::Bad
                                    << QByteArray();
}

void TestHttpResponse::chunked()
{
    QFETCH(QByteArray, encoded);
    QFETCH(QList<int>, cuts);
    QFETCH(ChunkState, state);
    QFETCH(QByteArray, decoded);

    for (const QByteArrayList &packets : splits(encoded, cuts)) {
        ChunkedDecoder decoder;
        QByteArray got;
        for (const QByteArray &packet : packets)
            decoder.feed(packet, &got);
        const QByteArray way = describe(packets).toLatin1();
        QVERIFY2(decoder.state() == state, way.constData());
        QVERIFY2(got == decoded, QByteArray(way + " decoded: " + got).constData());
    }
}

QTEST_MAIN(TestHttpResponse)
#include "tst_http_response.moc"
