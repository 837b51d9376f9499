// How a download is shared between connections, and the side file that keeps
// its finished ranges across a restart.
#include "core/http_request.h"
#include "core/http_response.h"
#include "core/segment_file.h"
#include "core/segment_plan.h"
#include "core/segment_reply.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// "10-20 30-40" <-> ranges
QList<ByteRange> rangesOf(const QString &text)
{
    QList<ByteRange> out;
    for (const QString &item : text.split(u' ', Qt::SkipEmptyParts))
        out.append({item.section(u'-', 0, 0).toLongLong(), item.section(u'-', 1, 1).toLongLong()});
    return out;
}

QString textOf(const QList<ByteRange> &ranges)
{
    QStringList items;
    for (const ByteRange &r : ranges)
        items.append(u"%1-%2"_s.arg(r.first).arg(r.end));
    return items.join(u' ');
}

// Segments as connection:first-next-end, then free ranges, the proven prefix
// and the done ranges past it.
QString describe(const SegmentPlan &plan)
{
    QList<Segment> segments = plan.segments;
    std::sort(segments.begin(), segments.end(), [](auto &a, auto &b) { return a.connection < b.connection; });
    QStringList items;
    for (const Segment &s : segments)
        items.append(u"%1:%2-%3-%4"_s.arg(s.connection).arg(s.first).arg(s.next).arg(s.end));
    for (const ByteRange &r : plan.free)
        items.append(u"f:%1-%2"_s.arg(r.first).arg(r.end));
    items.append(u"p:%1"_s.arg(provenPrefix(plan)));
    for (const ByteRange &r : doneRanges(plan))
        items.append(u"d:%1-%2"_s.arg(r.first).arg(r.end));
    return items.join(u' ');
}

QString textOf(const std::optional<ByteRange> &r)
{
    return r ? u"%1-%2"_s.arg(r->first).arg(r->end) : u"-"_s;
}

} // namespace

class TestSegments : public QObject {
    Q_OBJECT
private slots:
    void plan_data();
    void plan();
    void busyDownload();
    void soundnessCheck();
    void roundTrip_data();
    void roundTrip();
    void roundTripBeyondBounds();
    void firstReplyAllowsSegments_data();
    void firstReplyAllowsSegments();
    void segmentReply_data();
    void segmentReply();
    void rangeRequestNamesItsEnd();
    void decode_data();
    void decode();
    void headerAlone();
};

void TestSegments::plan_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("minSegment");
    QTest::addColumn<int>("connections");
    QTest::addColumn<qint64>("prefix");
    QTest::addColumn<QString>("done");
    QTest::addColumn<QString>("initial");
    // w<c>:<n> write n bytes, s<c> steal, t<c> take a free range, r<c> release;
    // results: bytes accepted, range taken or "-".
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("results");
    QTest::addColumn<QString>("final");
    auto row = [](const char *name, qint64 size, qint64 min, int connections, qint64 prefix, const QString &done,
                  const QString &initial, const QString &steps = {}, const QString &results = {},
                  const QString &final = {}) {
        QTest::newRow(name) << size << min << connections << prefix << done << initial << steps << results
                            << (final.isEmpty() ? initial : final);
    };
    row("two halves", 100, 10, 2, 0, {}, u"0:0-0-50 1:50-50-100 p:0"_s);
    row("uneven thirds", 100, 10, 3, 0, {}, u"0:0-0-34 1:34-34-67 2:67-67-100 p:0"_s);
    row("too small: one segment", 19, 10, 4, 0, {}, u"0:0-0-19 p:0"_s);
    row("just two minimums", 20, 10, 4, 0, {}, u"0:0-0-10 1:10-10-20 p:0"_s);
    row("minimum caps the connections", 35, 10, 8, 0, {}, u"0:0-0-12 1:12-12-24 2:24-24-35 p:0"_s);
    row("one connection", 100, 10, 1, 0, {}, u"0:0-0-100 p:0"_s);
    row("whole file on disk", 100, 10, 4, 100, {}, u"p:100"_s);
    row("gaps around a done range", 100, 10, 4, 30, u"60-70"_s,
        u"0:30-30-45 1:45-45-60 2:70-70-85 3:85-85-100 p:30 d:60-70"_s);
    row("done ranges clipped to the file", 100, 10, 1, -5, u"90-200 80-95"_s, u"0:0-0-80 p:0 d:80-100"_s);
    row("second gap waits free", 100, 10, 1, 30, u"60-70"_s, u"0:30-30-60 f:70-100 p:30 d:60-70"_s, u"w0:30 t0"_s,
        u"30 70-100"_s, u"0:70-70-100 p:70"_s);
    row("finished connection steals half", 100, 10, 2, 0, {}, u"0:0-0-50 1:50-50-100 p:0"_s, u"w0:50 w1:10 s0 w1:25"_s,
        u"50 10 80-100 20"_s, u"0:80-80-100 1:50-80-80 p:80"_s);
    row("steals from the largest remainder", 120, 10, 3, 0, {}, u"0:0-0-40 1:40-40-80 2:80-80-120 p:0"_s,
        u"w0:40 w1:10 w2:30 s0"_s, u"40 10 30 65-80"_s, u"0:65-65-80 1:40-50-65 2:80-110-120 p:50 d:80-110"_s);
    row("new connection steals the upper half", 101, 10, 1, 0, {}, u"0:0-0-101 p:0"_s, u"s1"_s, u"50-101"_s,
        u"0:0-0-50 1:50-50-101 p:0"_s);
    row("nothing to steal under two minimums", 100, 30, 2, 0, {}, u"0:0-0-50 1:50-50-100 p:0"_s, u"w0:50 w1:15 s0"_s,
        u"50 15 -"_s, u"0:0-50-50 1:50-65-100 p:65"_s);
    row("busy connection steals nothing", 100, 10, 2, 0, {}, u"0:0-0-50 1:50-50-100 p:0"_s, u"w0:10 s0 t0"_s,
        u"10 - -"_s, u"0:0-10-50 1:50-50-100 p:10"_s);
    row("dead connection's rest taken by another", 100, 10, 2, 0, {}, u"0:0-0-50 1:50-50-100 p:0"_s,
        u"w1:20 r1 w0:50 t0"_s, u"20 50 70-100"_s, u"0:70-70-100 p:70"_s);
    row("dead connection's rest taken by a new one", 100, 10, 2, 0, {}, u"0:0-0-50 1:50-50-100 p:0"_s, u"r1 t5 w1:5"_s,
        u"50-100 0"_s, u"0:0-0-50 5:50-50-100 p:0"_s);
}

void TestSegments::plan()
{
    QFETCH(qint64, size);
    QFETCH(qint64, minSegment);
    QFETCH(int, connections);
    QFETCH(qint64, prefix);
    QFETCH(QString, done);
    QFETCH(QString, initial);
    QFETCH(QString, steps);
    QFETCH(QString, results);
    QFETCH(QString, final);
    SegmentPlan plan = initialPlan(size, prefix, rangesOf(done), connections, minSegment);
    QVERIFY(planIsSound(plan));
    QCOMPARE(describe(plan), initial);
    QStringList got;
    for (const QString &step : steps.split(u' ', Qt::SkipEmptyParts)) {
        const int connection = step.mid(1).section(u':', 0, 0).toInt();
        switch (step[0].unicode()) {
        case 'w':
            got.append(QString::number(markWritten(plan, connection, step.section(u':', 1).toLongLong())));
            break;
        case 's':
            got.append(textOf(stealHalf(plan, connection)));
            break;
        case 't':
            got.append(textOf(takeFree(plan, connection)));
            break;
        default:
            releaseConnection(plan, connection);
        }
        QVERIFY2(planIsSound(plan), qPrintable(step));
    }
    QCOMPARE(got.join(u' '), results);
    QCOMPARE(describe(plan), final);
}

// Connections writing, dying and taking work in random order: no byte is lost
// or held twice, and the download ends whole.
void TestSegments::busyDownload()
{
    QRandomGenerator random(7);
    SegmentPlan plan = initialPlan(10000, 123, rangesOf(u"4000-4500 9000-9100"_s), 5, 7);
    int steps = 0;
    while (provenPrefix(plan) < plan.size) {
        QVERIFY(++steps < 100000);
        const int connection = random.bounded(7);
        const Segment *s = segmentOf(plan, connection);
        if (random.bounded(50) == 0)
            releaseConnection(plan, connection);
        else if (s && s->next < s->end)
            markWritten(plan, connection, random.bounded(1, 60));
        else if (!takeFree(plan, connection))
            stealHalf(plan, connection);
        QVERIFY(planIsSound(plan));
    }
    QVERIFY(doneRanges(plan).isEmpty());
}

void TestSegments::soundnessCheck()
{
    SegmentPlan plan = initialPlan(100, 0, {}, 2, 10);
    plan.segments[1].first = 40; // overlaps connection 0
    QVERIFY(!planIsSound(plan));
    plan.segments[1].first = 60; // a hole
    QVERIFY(!planIsSound(plan));
    plan.segments[1].first = 50;
    plan.segments[1].connection = 0; // one connection, two ranges
    QVERIFY(!planIsSound(plan));
}

void TestSegments::roundTrip_data()
{
    QTest::addColumn<QByteArray>("validator");
    QTest::addColumn<QString>("ranges");
    QTest::addColumn<QString>("read");
    QTest::newRow("sorted") << QByteArray("\"abc\"") << u"10-20 30-40"_s << u"10-20 30-40"_s;
    QTest::newRow("no validator, no ranges") << QByteArray() << QString() << QString();
    QTest::newRow("date") << QByteArray("Wed, 21 Oct 2015 07:28:00 GMT") << u"0-1 99-100"_s << u"0-1 99-100"_s;
    QTest::newRow("quotes, backslash, control, UTF-8")
        << QByteArray("\"a\\\"b\r\n\x7f\xc3\xb1\"") << u"5-6"_s << u"5-6"_s;
    QTest::newRow("unsorted, overlapping, past the end")
        << QByteArray("\"v\"") << u"50-60 10-20 15-30 90-200 70-70"_s << u"10-30 50-60 90-100"_s;
}

void TestSegments::roundTrip()
{
    QFETCH(QByteArray, validator);
    QFETCH(QString, ranges);
    QFETCH(QString, read);
    const QByteArray bytes = encodeSegmentFile({100, validator, rangesOf(ranges)});
    const SegmentLoad load = decodeSegmentFile(bytes, 100, validator, 0);
    QCOMPARE(load.result, SegmentFileResult::Read);
    QCOMPARE(textOf(load.ranges), read);
}

// More ranges than a side file may hold: the first ones are kept, and what was
// written still reads back.
void TestSegments::roundTripBeyondBounds()
{
    SegmentRecord record{qint64(1) << 50, "\"v\"", {}};
    for (qint64 i = 0; i < 300000; ++i)
        record.ranges.append({(qint64(1) << 40) + 2 * i, (qint64(1) << 40) + 2 * i + 1});
    const SegmentLoad load = decodeSegmentFile(encodeSegmentFile(record), record.size, record.validator, 0);
    QCOMPARE(load.result, SegmentFileResult::Read);
    QVERIFY(!load.ranges.isEmpty());
    QCOMPARE(textOf(load.ranges), textOf(record.ranges.first(load.ranges.size())));
}

void TestSegments::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("position");
    QTest::addColumn<SegmentFileResult>("result");
    QTest::addColumn<QString>("ranges");
    const QByteArray magic = "tandrel-segmentos 1\n";
    const QByteArray size = "tama\xc3\xb1o 100\n";
    const QByteArray head = magic + size + "validador \"\\\"abc\\\"\"\n";
    using R = SegmentFileResult;
    auto row = [](const char *name, const QByteArray &bytes, R result, const QString &ranges = {}, qint64 at = 0) {
        QTest::newRow(name) << bytes << at << result << ranges;
    };
    row("sound", head + "10 20\n30 40\n", R::Read, u"10-20 30-40"_s);
    row("no ranges", head, R::Read);
    row("touching ranges joined", head + "10 20\n20 30\n", R::Read, u"10-30"_s);
    row("range at the position", head + "30 40\n", R::Read, u"30-40"_s, 30);
    row("stale: before the position", head + "10 20\n30 40\n", R::Stale, u"30-40"_s, 25);
    row("stale: cut at the position", head + "10 20\n30 40\n", R::Stale, u"15-20 30-40"_s, 15);
    row("stale: all before", head + "10 20\n", R::Stale, {}, 100);
    row("empty", {}, R::Empty);
    row("cut in the magic", "tandrel-seg", R::Short);
    row("cut in the header", magic + "tama", R::Short);
    row("no validator line", magic + size, R::Short);
    row("last range cut", head + "10 20\n30 4", R::Short);
    row("foreign text", "<html>\n<body>\n</body>\n", R::Foreign);
    row("foreign bytes", QByteArray("\x00\x01\x02", 3), R::Foreign);
    row("other version", "tandrel-segmentos 2\n" + size + "validador \"\"\n", R::OtherVersion);
    row("other size", magic + "tama\xc3\xb1o 200\nvalidador \"\\\"abc\\\"\"\n", R::OtherSize);
    row("other validator", magic + size + "validador \"\\\"abd\\\"\"\n10 20\n", R::OtherValidator);
    row("validator the download lacks", magic + size + "validador \"\"\n", R::OtherValidator);
    row("letters", head + "10 2x\n", R::Damaged);
    row("negative", head + "-10 20\n", R::Damaged);
    row("leading zero", head + "010 20\n", R::Damaged);
    row("overflow", head + "10 99999999999999999999\n", R::Damaged);
    row("past the size", head + "10 101\n", R::Damaged);
    row("empty range", head + "20 20\n", R::Damaged);
    row("reversed", head + "30 20\n", R::Damaged);
    row("overlapping", head + "10 30\n20 40\n", R::Damaged);
    row("unsorted", head + "30 40\n10 20\n", R::Damaged);
    row("CR LF", head + "10 20\r\n", R::Damaged);
    row("blank line", head + "\n", R::Damaged);
    row("two blanks", head + "10  20\n", R::Damaged);
    row("three numbers", head + "10 20 30\n", R::Damaged);
    row("bad escape", magic + size + "validador \"\\q\"\n", R::Damaged);
    row("unquoted validator", magic + size + "validador abc\n", R::Damaged);
    row("size zero", magic + "tama\xc3\xb1o 0\nvalidador \"\"\n", R::Damaged);
    row("magic without version", "tandrel-segmentos x\n" + size, R::Damaged);
    row("too many bytes", head + QByteArray(4 * 1024 * 1024, '1'), R::Oversized);
    row("too many lines", head + QByteArray(200000, '\n'), R::Oversized);
}

void TestSegments::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, position);
    QFETCH(SegmentFileResult, result);
    QFETCH(QString, ranges);
    const SegmentLoad load = decodeSegmentFile(bytes, 100, "\"abc\"", position);
    QCOMPARE(load.result, result);
    QCOMPARE(textOf(load.ranges), ranges);
}

// What a restart reads when the list lost the download's size.
void TestSegments::headerAlone()
{
    const QByteArray magic = "tandrel-segmentos 1\n";
    const struct {
        QByteArray bytes;
        qint64 size; // 0: no header
        QByteArray validator;
    } rows[] = {
        {magic + "tama\xc3\xb1o 100\nvalidador \"\\\"abc\\\"\"\n10 20\n", 100, "\"abc\""},
        {magic + "tama\xc3\xb1o 200\nvalidador \"\"\n", 200, ""},
        {magic + "tama\xc3\xb1o 200\nvalidador \"\"", 0, ""},
        {magic + "tama\xc3\xb1o 0\nvalidador \"\"\n", 0, ""},
        {"tandrel-segmentos 2\ntama\xc3\xb1o 200\nvalidador \"\"\n", 0, ""},
        {"<html>\n<body>\n</body>\n", 0, ""},
        {{}, 0, ""},
    };
    for (const auto &row : rows) {
        const std::optional<SegmentRecord> header = segmentFileHeader(row.bytes);
        QCOMPARE(header.has_value(), row.size > 0);
        if (header) {
            QCOMPARE(header->size, row.size);
            QCOMPARE(header->validator, row.validator);
            QVERIFY(header->ranges.isEmpty());
        }
    }
}

void TestSegments::firstReplyAllowsSegments_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("acceptRanges");
    QTest::addColumn<QByteArray>("validator");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<bool>("chunked");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("allowed");
    const QByteArray etag = "\"v1\"";
    QTest::newRow("206 with a validator") << 206 << QByteArray() << etag << qint64(-1) << false << qint64(9) << true;
    QTest::newRow("206 with a length") << 206 << QByteArray() << QByteArray() << qint64(9) << false << qint64(9)
                                       << true;
    QTest::newRow("206 naming nothing") << 206 << QByteArray() << QByteArray() << qint64(-1) << false << qint64(9)
                                        << false;
    QTest::newRow("200 serving ranges") << 200 << QByteArray(" Bytes ") << etag << qint64(9) << false << qint64(9)
                                        << true;
    QTest::newRow("200 without ranges") << 200 << QByteArray() << etag << qint64(9) << false << qint64(9) << false;
    QTest::newRow("200 refusing ranges") << 200 << QByteArray("none") << etag << qint64(9) << false << qint64(9)
                                         << false;
    QTest::newRow("size unknown") << 206 << QByteArray() << etag << qint64(-1) << false << qint64(0) << false;
    QTest::newRow("chunked") << 206 << QByteArray() << etag << qint64(-1) << true << qint64(9) << false;
}
void TestSegments::firstReplyAllowsSegments()
{
    QFETCH(int, status);
    QFETCH(QByteArray, acceptRanges);
    QFETCH(QByteArray, validator);
    QFETCH(qint64, length);
    QFETCH(bool, chunked);
    QFETCH(qint64, size);
    QFETCH(bool, allowed);
    ResponseFacts facts;
    facts.status = status;
    facts.contentLength = length;
    facts.chunked = chunked;
    ResponseDecision write;
    write.kind = ResponseDecision::Kind::Write;
    write.size = size;
    QCOMPARE(allowsSegments(facts, write, validator, acceptRanges), allowed);
    ResponseDecision retry;
    QVERIFY(!allowsSegments(facts, retry, validator, acceptRanges));
}

// An extra connection asks bytes=100-199 of a 1000-byte file known by "v1".
void TestSegments::segmentReply_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("verdict");
    const auto w = int(SegmentReply::Write);
    const auto r = int(SegmentReply::Refused);
    const auto c = int(SegmentReply::Contradicts);
    QTest::newRow("the range") << QByteArray("206 x\nContent-Range: bytes 100-199/1000\nETag: \"v1\"") << w;
    QTest::newRow("the range, no validator") << QByteArray("206 x\nContent-Range: bytes 100-199/1000") << w;
    QTest::newRow("another total") << QByteArray("206 x\nContent-Range: bytes 100-199/2000") << c;
    QTest::newRow("another validator") << QByteArray("206 x\nContent-Range: bytes 100-199/1000\nETag: \"v2\"") << c;
    QTest::newRow("another start") << QByteArray("206 x\nContent-Range: bytes 0-199/1000") << r;
    QTest::newRow("the whole file") << QByteArray("200 x\nContent-Length: 1000") << c;
    QTest::newRow("a whole new file") << QByteArray("200 x\nContent-Length: 1000\nETag: \"v2\"") << c;
    QTest::newRow("a page of another size") << QByteArray("200 x\nContent-Length: 50") << c;
    QTest::newRow("busy") << QByteArray("503 x") << r;
    QTest::newRow("too many") << QByteArray("429 x") << r;
    QTest::newRow("forbidden") << QByteArray("403 x") << r;
    QTest::newRow("chunked range") << QByteArray("206 x\nContent-Range: bytes 100-199/1000\nTransfer-Encoding: chunked")
                                   << r;
}
void TestSegments::segmentReply()
{
    QFETCH(QByteArray, head);
    QFETCH(int, verdict);
    HttpResponseParser parser;
    QByteArray body;
    const QByteArray raw = "HTTP/1.1 " + head.replace("\n", "\r\n") + "\r\n\r\n";
    QCOMPARE(parser.feed(raw, &body), HttpResponseParser::State::Complete);
    const QByteArray validator = rangeValidator(parser.header("ETag"), {});
    ResponseFacts facts;
    facts.status = parser.status();
    facts.contentLength = parser.contentLength();
    facts.chunked = parser.chunked();
    qint64 last = 0;
    facts.ranged = parser.contentRange(&facts.rangeFirst, &last, &facts.rangeTotal);
    facts.replyValidated = !validator.isEmpty();
    facts.requestedFrom = 100;
    facts.onDisk = 1000;
    facts.knownSize = 1000;
    facts.ifRangeSent = true;
    QCOMPARE(int(checkSegmentReply(facts, decideResponse(facts), validator, "\"v1\"")), verdict);
}

void TestSegments::rangeRequestNamesItsEnd()
{
    const QByteArray closed = rangeRequestBytes({u"h"_s, 80, false, u"a b"_s, 100, 199, "\"v1\"", {}, {}});
    QVERIFY(closed.startsWith("GET /a%20b HTTP/1.1\r\n"));
    QVERIFY(closed.contains("\r\nRange: bytes=100-199\r\nIf-Range: \"v1\"\r\n\r\n"));
    const QByteArray open = rangeRequestBytes({u"h"_s, 80, false, u"a"_s, 0, -1, "\"v1\"", {}, {}});
    QVERIFY(open.contains("\r\nRange: bytes=0-\r\n\r\n"));
}

QTEST_MAIN(TestSegments)
#include "tst_segments.moc"
