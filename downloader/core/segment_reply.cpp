#include "core/segment_reply.h"

bool allowsSegments(const ResponseFacts &facts, const ResponseDecision &decision, const QByteArray &validator,
                    const QByteArray &acceptRanges)
{
    if (decision.kind != ResponseDecision::Kind::Write || decision.size <= 0 || facts.chunked)
        return false;
    const bool ranges =
        facts.status == 206 || (facts.status == 200 && acceptRanges.trimmed().toLower().split(',').contains("bytes"));
    return ranges && (!validator.isEmpty() || facts.contentLength >= 0);
}

SegmentReply checkSegmentReply(const ResponseFacts &facts, const ResponseDecision &decision,
                               const QByteArray &replyValidator, const QByteArray &validator)
{
    using Kind = ResponseDecision::Kind;
    if (decision.kind == Kind::Stop && decision.sizeChanged)
        return SegmentReply::Contradicts;
    // A chunked body is not worth a second framing decoder per connection.
    if (decision.kind != Kind::Write || facts.chunked)
        return SegmentReply::Refused;
    // Anything but the asked range of the same file would splice two files.
    if (facts.status != 206 || decision.writeFrom != facts.requestedFrom || decision.fileChanged
        || decision.size != facts.knownSize)
        return SegmentReply::Contradicts;
    if (!replyValidator.isEmpty() && !validator.isEmpty() && replyValidator != validator)
        return SegmentReply::Contradicts;
    return SegmentReply::Write;
}
