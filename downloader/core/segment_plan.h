#pragma once

#include <QList>
#include <QtGlobal>

#include <optional>

// Bytes [first, end) of the target file.
struct ByteRange {
    qint64 first = 0;
    qint64 end = 0;
    qint64 length() const { return end - first; }
    bool operator==(const ByteRange &) const = default;
};

// The range one connection fetches: [first, next) it has written, [next, end)
// is still to come.
struct Segment {
    int connection = 0;
    qint64 first = 0;
    qint64 next = 0;
    qint64 end = 0;
    bool operator==(const Segment &) const = default;
};

// How a download of known size is shared between its connections. Every byte
// of [0, size) is in exactly one place: done, a segment, or free.
struct SegmentPlan {
    qint64 size = 0;
    qint64 minSegment = 1;
    QList<ByteRange> done;   // on disk and no longer held by a connection; sorted, merged
    QList<Segment> segments; // at most one per connection
    QList<ByteRange> free;   // still to fetch, held by no connection; sorted
};

// Sorted, with overlapping and touching ranges joined and empty ones dropped.
QList<ByteRange> mergedRanges(QList<ByteRange> ranges);

// The bytes of a file of this size still to fetch, given the first prefixDone
// bytes and doneRanges on disk, shared between connections 0.. of at most
// `connections`, no piece shorter than minSegment unless a gap between done
// ranges is. Several connections only when the bytes left make two pieces of
// minSegment; gaps left over for want of connections start out free.
SegmentPlan initialPlan(qint64 size, qint64 prefixDone, const QList<ByteRange> &doneRanges, int connections,
                        qint64 minSegment);

// The connection's range, or nullptr when it holds none.
const Segment *segmentOf(const SegmentPlan &plan, int connection);

// Bytes the connection just received: returns how many of them belong to its
// range (ask before writing). A range shortened by a steal ends the answer
// there and the connection must stop; the rest belongs to another connection.
qint64 markWritten(SegmentPlan &plan, int connection, qint64 bytes);

// A connection with nothing left to fetch takes the first free range. Its own
// written bytes stay done. Nothing when it still has bytes to fetch or
// nothing is free.
std::optional<ByteRange> takeFree(SegmentPlan &plan, int connection);

// A connection with nothing left to fetch takes the upper half of the largest
// unfetched remainder of another connection, whose range then ends where the
// half starts. Nothing when that remainder is under two minSegment, or when
// the connection still has bytes to fetch. Free ranges go first (takeFree).
std::optional<ByteRange> stealHalf(SegmentPlan &plan, int connection);

// A connection that is gone: what it wrote stays done, what it had not
// fetched becomes free for another.
void releaseConnection(SegmentPlan &plan, int connection);

// How many bytes from byte 0 are on disk without a hole.
qint64 provenPrefix(const SegmentPlan &plan);
// The bytes on disk past the proven prefix, sorted and merged: what the side
// file keeps across a restart.
QList<ByteRange> doneRanges(const SegmentPlan &plan);
// Whether every byte of [0, size) is in exactly one place and every range lies
// in order inside the file.
bool planIsSound(const SegmentPlan &plan);
