#include "core/ftp_reply.h"

#include <limits>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "NNN-": the first line of a multi-line reply.
bool opensMultiLine(const QByteArray &line)
{
    return ftpReplyCode(line) != 0 && line.size() > 3 && line[3] == '-';
}

// "NNN " (or a bare "NNN") with the code that opened the reply.
bool closesMultiLine(const QByteArray &line, const QByteArray &code)
{
    return line.startsWith(code) && (line.size() == 3 || line[3] == ' ');
}

} // namespace

QList<QByteArray> FtpReplyBuffer::feed(const QByteArray &data)
{
    QList<QByteArray> replies;
    qsizetype from = 0;
    while (from < data.size()) {
        const qsizetype lf = data.indexOf('\n', from);
        const qsizetype end = lf < 0 ? data.size() : lf;
        // A line longer than the cap keeps only its start (its code is
        // there); the rest is dropped so a server cannot grow the buffer.
        const qsizetype room = qMax<qsizetype>(0, kMaxPending - pending_.size());
        pending_.append(data.constData() + from, qMin(end - from, room));
        if (lf < 0)
            break;
        from = lf + 1;

        QByteArray line = pending_;
        pending_.clear();
        if (line.endsWith('\r'))
            line.chop(1);

        if (!multiLineCode_.isEmpty()) {
            if (closesMultiLine(line, multiLineCode_)) {
                multiLineCode_.clear();
                replies.append(line);
            }
            continue;
        }
        if (opensMultiLine(line)) {
            multiLineCode_ = line.left(3);
            continue;
        }
        // Lines without a code carry nothing to act on.
        if (ftpReplyCode(line) != 0)
            replies.append(line);
    }
    return replies;
}

void FtpReplyBuffer::reset()
{
    pending_.clear();
    multiLineCode_.clear();
}

int ftpReplyCode(const QByteArray &line)
{
    if (line.size() < 3 || !isDigit(line[0]) || !isDigit(line[1]) || !isDigit(line[2]))
        return 0;
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-')
        return 0;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

qint64 ftpSizeValue(const QByteArray &line)
{
    const QByteArray number = line.mid(4).trimmed();
    if (number.isEmpty() || number.size() > 19)
        return -1;
    qint64 value = 0;
    for (const char c : number) {
        if (!isDigit(c))
            return -1;
        const int digit = c - '0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            return -1;
        value = value * 10 + digit;
    }
    return value;
}
