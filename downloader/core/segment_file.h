#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

#include "core/segment_plan.h"

// What the side file of a download fetched over several connections keeps:
// the ranges on disk past its position, and which server file they came from.
// Far beyond what a download's connections leave behind; a side file past
// this size was not written by this program.
constexpr qsizetype kMaxSideFileBytes = 1024 * 1024;

struct SegmentRecord {
    qint64 size = 0;
    QByteArray validator; // strong ETag or Last-Modified; empty when the server gave neither
    QList<ByteRange> ranges;
};

// Why a side file gave what it gave. Anything but Read and Stale gives no
// ranges: then only the download's position is trusted.
enum class SegmentFileResult {
    Read,           // every range kept
    Stale,          // ranges at or before the position dropped or cut short; the rest kept
    Empty,          // no bytes at all
    Short,          // the header is incomplete or the last line was cut
    Damaged,        // a line that is not what this program writes
    Oversized,      // more bytes or ranges than this program writes
    Foreign,        // not a side file of this program
    OtherVersion,   // written by another version of the format
    OtherSize,      // kept for a file of another size
    OtherValidator, // kept for another version of the server's file
};

struct SegmentLoad {
    QList<ByteRange> ranges; // sorted, merged, all past the position
    SegmentFileResult result = SegmentFileResult::Empty;
};

// The side file: a header of three lines, then "<first> <end>" per range, LF
// line ends. Ranges are sorted and merged first, and left out past the bounds
// the decoder accepts, so what is written always reads back.
QByteArray encodeSegmentFile(const SegmentRecord &record);

// Strict: the ranges only when the file is whole, sound, and names the
// download's size and validator. position is the download's proven prefix
// (bytes from byte 0 on disk).
SegmentLoad decodeSegmentFile(const QByteArray &bytes, qint64 expectedSize, const QByteArray &expectedValidator,
                              qint64 position);

// The size and validator a side file names, ranges left out; nothing when
// its header is not what this program writes. What a restart goes on from
// when the list file was saved before the download's size was known.
std::optional<SegmentRecord> segmentFileHeader(const QByteArray &bytes);

// The side file of the target file: beside it, named after it.
QString segmentFilePath(const QString &target);
