#include "core/segment_plan.h"

#include <algorithm>

namespace {

QList<ByteRange> gapsOf(const QList<ByteRange> &done, qint64 size)
{
    QList<ByteRange> gaps;
    qint64 at = 0;
    for (const ByteRange &r : done) {
        if (r.first > at)
            gaps.append({at, r.first});
        at = qMax(at, r.end);
    }
    if (at < size)
        gaps.append({at, size});
    return gaps;
}

// How many pieces each gap is cut into: one for each gap while connections
// last, then one more each time for the gap whose pieces are longest, as long
// as its pieces stay at least minSegment long.
QList<int> piecesPerGap(const QList<ByteRange> &gaps, int budget, qint64 minSegment)
{
    QList<int> count(gaps.size(), 0);
    int used = 0;
    for (qsizetype i = 0; i < gaps.size() && used < budget; ++i, ++used)
        count[i] = 1;
    while (used < budget) {
        qsizetype best = -1;
        for (qsizetype i = 0; i < gaps.size(); ++i) {
            const qint64 length = gaps[i].length();
            if (count[i] == 0 || length / (count[i] + 1) < minSegment)
                continue;
            if (best < 0 || length / count[i] > gaps[best].length() / count[best])
                best = i;
        }
        if (best < 0)
            break;
        ++count[best];
        ++used;
    }
    return count;
}

qsizetype indexOf(const SegmentPlan &plan, int connection)
{
    for (qsizetype i = 0; i < plan.segments.size(); ++i) {
        if (plan.segments[i].connection == connection)
            return i;
    }
    return -1;
}

// A connection may take new work only when nothing it holds is left to fetch;
// otherwise those bytes would lose their owner.
bool isIdle(const SegmentPlan &plan, int connection)
{
    const qsizetype i = indexOf(plan, connection);
    return i < 0 || plan.segments[i].next == plan.segments[i].end;
}

// The connection gives up its range: what it wrote is done, the rest is freed.
void retire(SegmentPlan &plan, int connection)
{
    const qsizetype i = indexOf(plan, connection);
    if (i < 0)
        return;
    const Segment s = plan.segments.takeAt(i);
    plan.done = mergedRanges(plan.done + QList<ByteRange>{{s.first, s.next}});
    if (s.next < s.end)
        plan.free = mergedRanges(plan.free + QList<ByteRange>{{s.next, s.end}});
}

QList<ByteRange> onDisk(const SegmentPlan &plan)
{
    QList<ByteRange> all = plan.done;
    for (const Segment &s : plan.segments)
        all.append({s.first, s.next});
    return mergedRanges(all);
}

} // namespace

QList<ByteRange> mergedRanges(QList<ByteRange> ranges)
{
    ranges.removeIf([](const ByteRange &r) { return r.end <= r.first; });
    std::sort(ranges.begin(), ranges.end(), [](const ByteRange &a, const ByteRange &b) { return a.first < b.first; });
    QList<ByteRange> out;
    for (const ByteRange &r : ranges) {
        if (!out.isEmpty() && r.first <= out.last().end)
            out.last().end = qMax(out.last().end, r.end);
        else
            out.append(r);
    }
    return out;
}

SegmentPlan initialPlan(qint64 size, qint64 prefixDone, const QList<ByteRange> &doneRanges, int connections,
                        qint64 minSegment)
{
    SegmentPlan plan;
    plan.size = qMax<qint64>(size, 0);
    plan.minSegment = qMax<qint64>(minSegment, 1);
    QList<ByteRange> done = doneRanges;
    done.append({0, prefixDone});
    for (ByteRange &r : done) {
        r.first = std::clamp<qint64>(r.first, 0, plan.size);
        r.end = std::clamp<qint64>(r.end, 0, plan.size);
    }
    plan.done = mergedRanges(done);

    const QList<ByteRange> gaps = gapsOf(plan.done, plan.size);
    qint64 left = 0;
    for (const ByteRange &g : gaps)
        left += g.length();
    const bool several = connections >= 2 && left / 2 >= plan.minSegment;
    const QList<int> count = piecesPerGap(gaps, several ? connections : 1, plan.minSegment);

    int connection = 0;
    for (qsizetype i = 0; i < gaps.size(); ++i) {
        if (count[i] == 0) {
            plan.free.append(gaps[i]);
            continue;
        }
        // Equal pieces; the first ones one byte longer where it does not divide.
        const qint64 base = gaps[i].length() / count[i];
        const qint64 extra = gaps[i].length() % count[i];
        qint64 at = gaps[i].first;
        for (int j = 0; j < count[i]; ++j) {
            const qint64 end = at + base + (j < extra ? 1 : 0);
            plan.segments.append({connection++, at, at, end});
            at = end;
        }
    }
    return plan;
}

const Segment *segmentOf(const SegmentPlan &plan, int connection)
{
    const qsizetype i = indexOf(plan, connection);
    return i < 0 ? nullptr : &plan.segments[i];
}

qint64 markWritten(SegmentPlan &plan, int connection, qint64 bytes)
{
    const qsizetype i = indexOf(plan, connection);
    if (i < 0 || bytes <= 0)
        return 0;
    Segment &s = plan.segments[i];
    const qint64 taken = qMin(bytes, s.end - s.next);
    s.next += taken;
    return taken;
}

std::optional<ByteRange> takeFree(SegmentPlan &plan, int connection)
{
    if (!isIdle(plan, connection) || plan.free.isEmpty())
        return std::nullopt;
    retire(plan, connection);
    const ByteRange r = plan.free.takeFirst();
    plan.segments.append({connection, r.first, r.first, r.end});
    return r;
}

std::optional<ByteRange> stealHalf(SegmentPlan &plan, int connection)
{
    if (!isIdle(plan, connection))
        return std::nullopt;
    qsizetype donor = -1;
    for (qsizetype i = 0; i < plan.segments.size(); ++i) {
        const Segment &s = plan.segments[i];
        if (s.connection != connection
            && (donor < 0 || s.end - s.next > plan.segments[donor].end - plan.segments[donor].next))
            donor = i;
    }
    if (donor < 0)
        return std::nullopt;
    const qint64 left = plan.segments[donor].end - plan.segments[donor].next;
    if (left / 2 < plan.minSegment)
        return std::nullopt;
    // The donor keeps the lower half, where it is writing now.
    const ByteRange taken{plan.segments[donor].next + left / 2, plan.segments[donor].end};
    plan.segments[donor].end = taken.first;
    retire(plan, connection);
    plan.segments.append({connection, taken.first, taken.first, taken.end});
    return taken;
}

void releaseConnection(SegmentPlan &plan, int connection)
{
    retire(plan, connection);
}

qint64 provenPrefix(const SegmentPlan &plan)
{
    const QList<ByteRange> all = onDisk(plan);
    return !all.isEmpty() && all.first().first == 0 ? all.first().end : 0;
}

QList<ByteRange> doneRanges(const SegmentPlan &plan)
{
    QList<ByteRange> all = onDisk(plan);
    if (!all.isEmpty() && all.first().first == 0)
        all.removeFirst();
    return all;
}

bool planIsSound(const SegmentPlan &plan)
{
    QList<ByteRange> pieces = plan.done + plan.free;
    QList<int> connections;
    for (const Segment &s : plan.segments) {
        if (s.first > s.next || s.next > s.end || connections.contains(s.connection))
            return false;
        connections.append(s.connection);
        pieces.append({s.first, s.next});
        pieces.append({s.next, s.end});
    }
    pieces.removeIf([](const ByteRange &r) { return r.first == r.end; });
    std::sort(pieces.begin(), pieces.end(), [](const ByteRange &a, const ByteRange &b) { return a.first < b.first; });
    qint64 at = 0;
    for (const ByteRange &r : pieces) {
        if (r.first != at || r.end < r.first)
            return false;
        at = r.end;
    }
    return at == plan.size;
}
