#include "core/segment_file.h"

#include <QByteArrayList>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kMagic = QByteArrayLiteral("tandrel-segmentos");
constexpr qint64 kVersion = 1;
const QByteArray kSizeKey = QByteArrayLiteral("tama\xc3\xb1o ");
const QByteArray kValidatorKey = QByteArrayLiteral("validador ");
constexpr qsizetype kHeaderLines = 3;
constexpr qsizetype kMaxBytes = kMaxSideFileBytes;
constexpr qsizetype kMaxRanges = 100000;

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

// Plain decimal as the encoder writes it: no sign, no blank, no leading zero.
bool parseNumber(QByteArrayView text, qint64 *value)
{
    if (text.isEmpty() || (text.size() > 1 && text.front() == '0'))
        return false;
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    qint64 v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        const int digit = c - '0';
        if (v > (kMax - digit) / 10)
            return false;
        v = v * 10 + digit;
    }
    *value = v;
    return true;
}

// Between double quotes; the quote, the backslash and any byte outside
// printable ASCII escaped, so the value stays on its line whatever it holds.
QByteArray quoted(const QByteArray &value)
{
    QByteArray out = "\"";
    for (const char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\')
            out += '\\';
        if (u < 0x20 || u >= 0x7F)
            out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out + '"';
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool unquoted(QByteArrayView text, QByteArray *value)
{
    if (text.size() < 2 || text.front() != '"' || text.back() != '"')
        return false;
    text = text.sliced(1, text.size() - 2);
    value->clear();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto u = static_cast<unsigned char>(text[i]);
        if (u < 0x20 || u >= 0x7F || text[i] == '"')
            return false;
        if (text[i] != '\\') {
            value->append(text[i]);
        } else if (i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\')) {
            value->append(text[++i]);
        } else if (i + 3 < text.size() && text[i + 1] == 'x' && hexDigit(text[i + 2]) >= 0
                   && hexDigit(text[i + 3]) >= 0) {
            value->append(char(hexDigit(text[i + 2]) * 16 + hexDigit(text[i + 3])));
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

SegmentLoad refused(SegmentFileResult result)
{
    return {{}, result};
}

SegmentFileResult checkMagic(const QByteArray &line)
{
    qint64 version = 0;
    if (!line.startsWith(QByteArray(kMagic + ' ')))
        return SegmentFileResult::Foreign;
    if (!parseNumber(QByteArrayView(line).sliced(kMagic.size() + 1), &version))
        return SegmentFileResult::Damaged;
    return version == kVersion ? SegmentFileResult::Read : SegmentFileResult::OtherVersion;
}

// The size and validator lines as written.
SegmentFileResult parseHeader(const QByteArrayList &lines, qint64 *size, QByteArray *validator)
{
    if (!lines[1].startsWith(kSizeKey) || !parseNumber(QByteArrayView(lines[1]).sliced(kSizeKey.size()), size)
        || *size == 0)
        return SegmentFileResult::Damaged;
    if (!lines[2].startsWith(kValidatorKey)
        || !unquoted(QByteArrayView(lines[2]).sliced(kValidatorKey.size()), validator))
        return SegmentFileResult::Damaged;
    return SegmentFileResult::Read;
}

// The size and validator lines, checked against the download.
SegmentFileResult checkHeader(const QByteArrayList &lines, qint64 expectedSize, const QByteArray &expectedValidator)
{
    qint64 size = 0;
    QByteArray validator;
    if (const SegmentFileResult parsed = parseHeader(lines, &size, &validator); parsed != SegmentFileResult::Read)
        return parsed;
    if (size != expectedSize)
        return SegmentFileResult::OtherSize;
    if (validator != expectedValidator)
        return SegmentFileResult::OtherValidator;
    return SegmentFileResult::Read;
}

} // namespace

QByteArray encodeSegmentFile(const SegmentRecord &record)
{
    QByteArray out = kMagic + ' ' + number(kVersion) + '\n';
    out += kSizeKey + number(record.size) + '\n';
    out += kValidatorKey + quoted(record.validator) + '\n';
    QList<ByteRange> ranges = record.ranges;
    for (ByteRange &r : ranges) {
        r.first = std::clamp<qint64>(r.first, 0, record.size);
        r.end = std::clamp<qint64>(r.end, 0, record.size);
    }
    // A range left out is only fetched again; a file over the bounds would
    // lose them all.
    qsizetype count = 0;
    for (const ByteRange &r : mergedRanges(ranges)) {
        const QByteArray line = number(r.first) + ' ' + number(r.end) + '\n';
        if (count == kMaxRanges || out.size() + line.size() > kMaxBytes)
            break;
        out += line;
        ++count;
    }
    return out;
}

SegmentLoad decodeSegmentFile(const QByteArray &bytes, qint64 expectedSize, const QByteArray &expectedValidator,
                              qint64 position)
{
    if (bytes.isEmpty())
        return refused(SegmentFileResult::Empty);
    if (bytes.size() > kMaxBytes)
        return refused(SegmentFileResult::Oversized);
    QByteArrayList lines = bytes.split('\n');
    // What follows the last line end: empty unless the file was cut.
    const QByteArray tail = lines.takeLast();
    if (lines.isEmpty())
        return refused(kMagic.startsWith(tail.left(kMagic.size())) ? SegmentFileResult::Short
                                                                   : SegmentFileResult::Foreign);
    if (const SegmentFileResult magic = checkMagic(lines[0]); magic != SegmentFileResult::Read)
        return refused(magic);
    if (lines.size() < kHeaderLines)
        return refused(SegmentFileResult::Short);
    const SegmentFileResult header = checkHeader(lines, expectedSize, expectedValidator);
    if (header != SegmentFileResult::Read)
        return refused(header);
    if (!tail.isEmpty())
        return refused(SegmentFileResult::Short);
    if (lines.size() - kHeaderLines > kMaxRanges)
        return refused(SegmentFileResult::Oversized);

    SegmentLoad load;
    load.result = SegmentFileResult::Read;
    const qint64 prefix = qMax<qint64>(position, 0);
    qint64 previousEnd = 0;
    for (qsizetype i = kHeaderLines; i < lines.size(); ++i) {
        const QByteArrayView line(lines[i]);
        const qsizetype blank = line.indexOf(' ');
        ByteRange r;
        if (blank < 0 || !parseNumber(line.first(blank), &r.first) || !parseNumber(line.sliced(blank + 1), &r.end)
            || r.first < previousEnd || r.end <= r.first || r.end > expectedSize)
            return refused(SegmentFileResult::Damaged);
        previousEnd = r.end;
        // Bytes the position already covers are trusted through it.
        if (r.first < prefix)
            load.result = SegmentFileResult::Stale;
        r.first = qMax(r.first, prefix);
        if (r.first < r.end)
            load.ranges.append(r);
    }
    load.ranges = mergedRanges(load.ranges);
    return load;
}

std::optional<SegmentRecord> segmentFileHeader(const QByteArray &bytes)
{
    if (bytes.size() > kMaxBytes)
        return std::nullopt;
    const QByteArrayList lines = bytes.split('\n');
    // The header lines must each end with a line end.
    if (lines.size() <= kHeaderLines || checkMagic(lines[0]) != SegmentFileResult::Read)
        return std::nullopt;
    SegmentRecord record;
    if (parseHeader(lines, &record.size, &record.validator) != SegmentFileResult::Read)
        return std::nullopt;
    return record;
}

QString segmentFilePath(const QString &target)
{
    return target + u".tandrel"_s;
}
