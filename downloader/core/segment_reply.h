#pragma once

#include "core/http_decision.h"

#include <QByteArray>

// The smallest piece one connection of a download fetches.
inline constexpr qint64 kMinSegmentBytes = 1024 * 1024;

// Whether the first reply lets the rest of the file be shared between
// connections: its size is known, the server serves ranges, and either a
// validator or a length names the file, so a later reply can be checked
// against it.
bool allowsSegments(const ResponseFacts &facts, const ResponseDecision &decision, const QByteArray &validator,
                    const QByteArray &acceptRanges);

// What one extra connection's reply means for the download.
enum class SegmentReply {
    Write,       // the range asked for, of the same file
    Refused,     // the server will not serve another connection now: the others go on
    Contradicts, // another file (another size, the whole file, another validator): everything stops
};

// facts describe the extra connection's request (requestedFrom, knownSize,
// ifRangeSent); decision is decideResponse's for them; validator the first
// reply's.
SegmentReply checkSegmentReply(const ResponseFacts &facts, const ResponseDecision &decision,
                               const QByteArray &replyValidator, const QByteArray &validator);
