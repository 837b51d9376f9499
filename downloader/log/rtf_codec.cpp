#include "log/rtf_codec.h"

#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr quint32 kRgbMask = 0xFFFFFF;

// ---- writing ----

void appendHexEscape(QByteArray &out, uint value)
{
    static const char digits[] = "0123456789abcdef";
    out += "\\'";
    out += digits[(value >> 4) & 0xF];
    out += digits[value & 0xF];
}

void appendText(QByteArray &out, const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            out += "\\par\r\n";
        } else if (c == u'\t') {
            out += "\\tab ";
        } else if (c == u'\\' || c == u'{' || c == u'}') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            appendHexEscape(out, c);
        } else if (c < 0x80) {
            out += char(c);
        } else {
            // One UTF-16 unit at a time, so characters beyond the BMP go out
            // as their surrogate pair; RTF wants the number signed.
            out += "\\u";
            out += QByteArray::number(qint16(c));
            out += '?';
        }
    }
}

// ---- reading ----

constexpr int kMaxDepth = 1000;
constexpr int kMaxWordLength = 32;
constexpr qint64 kMaxParam = 1'000'000'000;
constexpr int kMaxFallback = 16;

// Windows-1252 at 0x80..0x9F; the rest of the code page is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t fromCp1252(uchar byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : char16_t(byte);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Groups whose content is never text of the document.
const QSet<QByteArray> &skippedDestinations()
{
    static const QSet<QByteArray> words = {
        "fonttbl",  "filetbl",   "stylesheet", "listtable", "listoverridetable", "revtbl",    "rsidtbl",
        "info",     "pict",      "object",     "header",    "headerl",           "headerr",   "headerf",
        "footer",   "footerl",   "footerr",    "footerf",   "footnote",          "fldinst",   "pntext",
        "listtext", "themedata", "xmlnstbl",   "datastore", "latentstyles",      "generator", "nonshppict"};
    return words;
}

struct Group {
    enum Kind : quint8 { Text, Skip, ColorTable };
    Kind kind = Text;
    int uc = 1;
    qint64 colorIndex = 0;
};

class Reader {
public:
    explicit Reader(const QByteArray &bytes) : data(bytes) {}
    RtfLoad read();

private:
    void controlSymbol(char c);
    void controlWord();
    void word(const QByteArray &name, bool hasParam, qint64 param);
    void symbolChar(char16_t c);
    void append(char16_t c);
    void append(const char *text);
    void fail(const QString &message)
    {
        if (result.error.isEmpty())
            result.error = message;
    }

    const QByteArray &data;
    qsizetype pos = 0;
    QList<Group> groups;
    QList<quint32> colors;
    quint32 pendingColor = 0;
    bool pendingHasValue = false;
    int fallback = 0; // characters of a \u fallback still to skip
    RtfLoad result;
};

RtfLoad Reader::read()
{
    while (pos < data.size() && (data[pos] == ' ' || data[pos] == '\r' || data[pos] == '\n' || data[pos] == '\t'))
        ++pos;
    if (!data.mid(pos, 5).startsWith("{\\rtf")) {
        fail(u"no es un documento RTF"_s);
        return result;
    }
    while (pos < data.size()) {
        const char c = data[pos++];
        if (c == '{') {
            if (groups.size() >= kMaxDepth) {
                fail(u"el documento anida demasiados grupos"_s);
                return result;
            }
            groups.append(groups.isEmpty() ? Group{} : groups.last());
            fallback = 0;
        } else if (c == '}') {
            groups.removeLast();
            fallback = 0;
            if (groups.isEmpty())
                break;
        } else if (c == '\\') {
            if (pos < data.size())
                controlSymbol(data[pos++]);
        } else if (c == '\t') {
            symbolChar(u'\t');
        } else if (c != '\r' && c != '\n' && uchar(c) >= 0x20) {
            symbolChar(fromCp1252(uchar(c)));
        }
    }
    if (!groups.isEmpty()) {
        fail(u"el documento está incompleto: faltan llaves de cierre"_s);
    } else {
        for (; pos < data.size(); ++pos) {
            const char c = data[pos];
            if (c != ' ' && c != '\r' && c != '\n' && c != '\t' && c != '\0') {
                fail(u"hay datos tras el final del documento"_s);
                break;
            }
        }
    }
    return result;
}

void Reader::controlSymbol(char c)
{
    if (isLetter(c)) {
        --pos;
        controlWord();
        return;
    }
    switch (c) {
    case '\\':
    case '{':
    case '}':
        symbolChar(char16_t(c));
        break;
    case '\'': {
        const int high = pos < data.size() ? hexValue(data[pos]) : -1;
        const int low = high >= 0 && pos + 1 < data.size() ? hexValue(data[pos + 1]) : -1;
        if (low >= 0) {
            pos += 2;
            symbolChar(fromCp1252(uchar(high * 16 + low)));
        } else if (high >= 0) {
            ++pos; // half an escape is not text
        }
        break;
    }
    case '~':
        symbolChar(0x00A0);
        break;
    case '_':
        symbolChar(0x2011);
        break;
    case '*':
        groups.last().kind = Group::Skip;
        break;
    case '\r':
    case '\n':
        word("par", false, 0);
        break;
    default: // optional hyphen, index marks: nothing to show
        if (fallback > 0)
            --fallback;
        break;
    }
}

void Reader::controlWord()
{
    QByteArray name;
    while (pos < data.size() && isLetter(data[pos])) {
        if (name.size() < kMaxWordLength)
            name += data[pos];
        ++pos;
    }
    bool negative = false;
    if (pos + 1 < data.size() && data[pos] == '-' && isDigit(data[pos + 1])) {
        negative = true;
        ++pos;
    }
    bool hasParam = false;
    qint64 param = 0;
    while (pos < data.size() && isDigit(data[pos])) {
        hasParam = true;
        param = std::min(param * 10 + (data[pos] - '0'), kMaxParam);
        ++pos;
    }
    if (negative)
        param = -param;
    if (pos < data.size() && data[pos] == ' ')
        ++pos;
    word(name, hasParam, param);
}

void Reader::word(const QByteArray &name, bool hasParam, qint64 param)
{
    // Binary data is skipped whatever group it is in: its bytes may look like braces.
    if (name == "bin") {
        pos += std::clamp<qint64>(param, 0, data.size() - pos);
        return;
    }
    if (fallback > 0) {
        --fallback;
        return;
    }
    Group &group = groups.last();
    if (skippedDestinations().contains(name)) {
        group.kind = Group::Skip;
        return;
    }
    if (group.kind == Group::Skip)
        return;
    if (name == "colortbl") {
        group.kind = Group::ColorTable;
        colors.clear();
        pendingColor = 0;
        pendingHasValue = false;
        return;
    }
    if (group.kind == Group::ColorTable) {
        const quint32 value = quint32(std::clamp<qint64>(param, 0, 255));
        const int shift = name == "red" ? 0 : name == "green" ? 8 : name == "blue" ? 16 : -1;
        if (shift >= 0) {
            pendingColor = (pendingColor & ~(0xFFu << shift)) | (value << shift);
            pendingHasValue = true;
        }
        return;
    }
    if (name == "cf") {
        group.colorIndex = hasParam ? std::max<qint64>(param, 0) : 0;
    } else if (name == "plain") {
        group.colorIndex = 0;
    } else if (name == "uc") {
        group.uc = int(std::clamp<qint64>(param, 0, kMaxFallback));
    } else if (name == "u") {
        if (param < 0)
            param += 0x10000;
        if (param >= 0 && param <= 0xFFFF)
            append(char16_t(param));
        fallback = group.uc;
    } else if (name == "par" || name == "line" || name == "row") {
        append("\r\n");
    } else if (name == "tab" || name == "cell") {
        append(u'\t');
    } else if (name == "emdash") {
        append(0x2014);
    } else if (name == "endash") {
        append(0x2013);
    } else if (name == "bullet") {
        append(0x2022);
    } else if (name == "lquote") {
        append(0x2018);
    } else if (name == "rquote") {
        append(0x2019);
    } else if (name == "ldblquote") {
        append(0x201C);
    } else if (name == "rdblquote") {
        append(0x201D);
    } else if (name == "emspace") {
        append(0x2003);
    } else if (name == "enspace") {
        append(0x2002);
    }
}

// A character of the document's text (or of a \u fallback, or of the colour
// table's separators).
void Reader::symbolChar(char16_t c)
{
    if (fallback > 0) {
        --fallback;
        return;
    }
    const Group &group = groups.last();
    if (group.kind == Group::ColorTable && c == u';') {
        // An entry without components is the "automatic" colour; ours is black.
        colors.append(pendingHasValue ? pendingColor : 0);
        pendingColor = 0;
        pendingHasValue = false;
    } else if (group.kind == Group::Text) {
        append(c);
    }
}

void Reader::append(char16_t c)
{
    const Group &group = groups.last();
    if (group.kind != Group::Text)
        return;
    const quint32 color = group.colorIndex < colors.size() ? colors.at(group.colorIndex) : 0;
    if (result.runs.isEmpty() || result.runs.last().color != color)
        result.runs.append({QString(), color});
    result.runs.last().text += QChar(c);
}

void Reader::append(const char *text)
{
    for (; *text; ++text)
        append(char16_t(*text));
}

} // namespace

QByteArray encodeRtf(const QList<RtfRun> &runs)
{
    QList<quint32> table;
    for (const RtfRun &run : runs) {
        if (!run.text.isEmpty() && !table.contains(run.color & kRgbMask))
            table.append(run.color & kRgbMask);
    }

    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\r\n"
                     "{\\colortbl;";
    for (const quint32 color : table) {
        out += "\\red" + QByteArray::number(color & 0xFF);
        out += "\\green" + QByteArray::number((color >> 8) & 0xFF);
        out += "\\blue" + QByteArray::number((color >> 16) & 0xFF);
        out += ';';
    }
    out += "}\r\n\\pard\\f0\\fs20";

    qsizetype current = -1;
    for (const RtfRun &run : runs) {
        if (run.text.isEmpty())
            continue;
        const qsizetype index = table.indexOf(run.color & kRgbMask) + 1; // 0 is "automatic"
        if (index != current) {
            out += "\\cf" + QByteArray::number(index) + ' ';
            current = index;
        }
        appendText(out, run.text);
    }
    out += "}\r\n";
    return out;
}

RtfLoad decodeRtf(const QByteArray &bytes)
{
    return Reader(bytes).read();
}
