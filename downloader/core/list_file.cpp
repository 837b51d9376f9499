#include "core/list_file.h"

#include <QByteArrayList>
#include <QStringDecoder>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

constexpr int kActiveLines = 9;
constexpr int kInactiveLines = 10;
constexpr qsizetype kMaxLineBytes = 64 * 1024;

int linesPerRecord(ListKind kind)
{
    return kind == ListKind::Active ? kActiveLines : kInactiveLines;
}

void appendLine(QByteArray &out, const QByteArray &line)
{
    out += line;
    out += "\r\n";
}

// Text is written as UTF-8, but a line break inside it would shift every
// later line of the file into the wrong field, and no address, path or
// password holds other control characters.
void appendText(QByteArray &out, const QString &text)
{
    QByteArray bytes = text.toUtf8();
    bytes.removeIf([](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
    appendLine(out, bytes);
}

QByteArray flagText(bool value)
{
    return value ? QByteArrayLiteral("True") : QByteArrayLiteral("False");
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Blanks, an optional sign and digits; *digits tells how many digits there were
// and *end where the number stopped. Saturates instead of overflowing.
qint64 parseNumber(const QByteArray &item, qsizetype *digits, qsizetype *end)
{
    qsizetype i = 0;
    while (i < item.size() && isBlank(item[i]))
        ++i;
    bool negative = false;
    if (i < item.size() && (item[i] == '-' || item[i] == '+')) {
        negative = item[i] == '-';
        ++i;
    }
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    qint64 value = 0;
    const qsizetype first = i;
    for (; i < item.size() && item[i] >= '0' && item[i] <= '9'; ++i) {
        const int digit = item[i] - '0';
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    *digits = i - first;
    *end = i;
    return negative ? -value : value;
}

// True/False in any case, or a number (0 false, anything else true).
bool flagItem(const QByteArray &item, bool *ok)
{
    *ok = true;
    const QByteArray word = item.toLower();
    if (word == "true")
        return true;
    if (word == "false")
        return false;
    qsizetype digits = 0;
    qsizetype end = 0;
    const qint64 value = parseNumber(item, &digits, &end);
    *ok = digits > 0 && end == item.size();
    return value != 0;
}

// Lists written by older versions are in the Windows code page; those lines
// are not valid UTF-8, and read as Windows-1252 they keep their real names.
QString lineText(const QByteArray &line)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(line);
    if (!utf8.hasError())
        return text;
    static constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    text.clear();
    text.reserve(line.size());
    for (const char c : line) {
        const auto b = static_cast<unsigned char>(c);
        text += QChar(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t(b));
    }
    return text;
}

} // namespace

QByteArray listNumber(qint64 value)
{
    QByteArray out;
    if (value >= 0)
        out += ' ';
    out += QByteArray::number(value);
    out += ' ';
    return out;
}

QByteArray encodeListFile(const QList<ListRecord> &records, ListKind kind)
{
    QByteArray out;
    for (const ListRecord &r : records) {
        appendText(out, r.url);
        appendText(out, r.file);
        appendLine(out, listNumber(r.size));
        appendLine(out, listNumber(r.position));
        appendLine(out, listNumber(r.elapsed));
        appendLine(out, flagText(r.resumable));
        // Credentials are kept only when the user asked for it.
        appendText(out, r.remember ? r.ftpuser : QString());
        appendText(out, r.remember ? r.ftppass : QString());
        appendLine(out, flagText(r.remember));
        if (kind == ListKind::Inactive)
            appendLine(out, flagText(r.locked));
    }
    return out;
}

ListLoad decodeListFile(const QByteArray &bytes, ListKind kind)
{
    ListLoad load;
    QByteArrayList lines = bytes.split('\n');
    // The line end after the last line does not start another line.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines)
        if (line.endsWith('\r'))
            line.chop(1);

    const int perRecord = linesPerRecord(kind);
    QStringList errors;
    const auto finish = [&] {
        load.error = errors.join(u"; "_s);
        return load;
    };
    for (qsizetype start = 0; start < lines.size(); start += perRecord) {
        if (lines.size() - start < perRecord) {
            errors << u"el archivo termina a mitad de un registro (tras la línea %1)"_s.arg(lines.size());
            return finish();
        }
        const auto line = [&](int n) -> const QByteArray & { return lines[start + n - 1]; };
        // No address, path or number is this long: the record is damaged.
        for (int n = 1; n <= perRecord; ++n) {
            if (line(n).size() > kMaxLineBytes) {
                errors << u"la línea %1 es demasiado larga (%2 bytes)"_s.arg(start + n).arg(line(n).size());
                return finish();
            }
        }
        const auto item = [&](int n) { return line(n).trimmed(); };

        // A bad flag spoils its own record only: the records after
        // it are still whole, and are read.
        ListRecord r;
        bool ok = true;
        const auto flag = [&](int n, bool *value) {
            bool flagOk = false;
            *value = flagItem(item(n), &flagOk);
            if (!flagOk && ok)
                errors << u"la línea %1 no es True, False ni un número: \"%2\"; se omite su descarga"_s.arg(start + n)
                              .arg(lineText(line(n)));
            ok = ok && flagOk;
        };
        // Numbers are read leniently: what is not one counts as 0.
        const auto number = [&](int n, qint64 *value) {
            qsizetype digits = 0;
            qsizetype end = 0;
            *value = parseNumber(item(n), &digits, &end);
        };
        r.url = lineText(line(1));
        r.file = lineText(line(2));
        number(3, &r.size);
        number(4, &r.position);
        number(5, &r.elapsed);
        flag(6, &r.resumable);
        // Whole lines: a user name or password may hold commas, quotes or blanks.
        r.ftpuser = lineText(line(7));
        r.ftppass = lineText(line(8));
        flag(9, &r.remember);
        if (kind == ListKind::Inactive)
            flag(10, &r.locked);
        if (ok)
            load.records.append(r);
    }
    return finish();
}
