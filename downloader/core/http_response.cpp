#include "core/http_response.h"

#include <cctype>
#include <limits>

namespace {

const QByteArray kStatusPrefix = QByteArrayLiteral("HTTP/1.");

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A run of decimal digits starting at *pos; false when there is none or it
// does not fit in 63 bits.
bool readDigits(const QByteArray &text, qsizetype *pos, qint64 *value)
{
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    const qsizetype first = *pos;
    qint64 v = 0;
    for (; *pos < text.size() && isDigit(text[*pos]); ++*pos) {
        const int digit = text[*pos] - '0';
        if (v > (kMax - digit) / 10)
            return false;
        v = v * 10 + digit;
    }
    *value = v;
    return *pos > first;
}

void skipBlanks(const QByteArray &text, qsizetype *pos)
{
    while (*pos < text.size() && isBlank(text[*pos]))
        ++*pos;
}

// Where the body starts (just past CR LF CR LF or LF LF, whichever ends
// first), searching from 'from'; -1 when the header is not complete yet.
qsizetype headerEnd(const QByteArray &buffer, qsizetype from)
{
    const qsizetype crlf = buffer.indexOf("\r\n\r\n", from);
    const qsizetype lflf = buffer.indexOf("\n\n", from);
    qsizetype end = -1;
    if (crlf >= 0)
        end = crlf + 4;
    if (lflf >= 0 && (end < 0 || lflf + 2 < end))
        end = lflf + 2;
    return end;
}

} // namespace

HttpResponseParser::State HttpResponseParser::feed(const QByteArray &data, QByteArray *body)
{
    switch (state_) {
    case State::Complete:
        body->append(data);
        return state_;
    case State::Bad:
        return state_;
    case State::Incomplete:
        break;
    }

    // The terminator may straddle the previous packet and this one.
    qsizetype searchFrom = qMax<qsizetype>(0, buffer_.size() - 3);
    buffer_.append(data);

    for (;;) {
        const qsizetype prefixLength = qMin(buffer_.size(), kStatusPrefix.size());
        if (QByteArrayView(buffer_).first(prefixLength) != QByteArrayView(kStatusPrefix).first(prefixLength))
            return fail(); // an SSH banner, a wrong port, noise: never the file

        const qsizetype end = headerEnd(buffer_, searchFrom);
        if (end < 0) {
            if (headBytes_ + buffer_.size() >= kMaxHeaderBytes)
                return fail();
            return state_;
        }
        headBytes_ += end;
        if (headBytes_ > kMaxHeaderBytes || !parse(buffer_.left(end)))
            return fail();
        buffer_.remove(0, end);
        if (status_ >= 100 && status_ < 200) {
            // 100 Continue, 103 Early Hints: the real status follows. A switch
            // of protocols was never asked for.
            if (status_ == 101)
                return fail();
            statusLine_.clear();
            status_ = 0;
            headers_.clear();
            searchFrom = 0;
            if (buffer_.isEmpty())
                return state_;
            continue;
        }
        break;
    }
    state_ = State::Complete;
    body->append(buffer_);
    buffer_.clear();
    return state_;
}

HttpResponseParser::State HttpResponseParser::fail()
{
    state_ = State::Bad;
    buffer_.clear();
    return state_;
}

void HttpResponseParser::reset()
{
    state_ = State::Incomplete;
    buffer_.clear();
    statusLine_.clear();
    status_ = 0;
    headers_.clear();
    headBytes_ = 0;
}

bool HttpResponseParser::parse(const QByteArray &head)
{
    QByteArrayList lines = head.split('\n');
    for (QByteArray &line : lines)
        if (line.endsWith('\r'))
            line.chop(1);

    statusLine_ = lines.value(0);
    const qsizetype blank = statusLine_.indexOf(' ');
    if (blank < 0 || statusLine_.size() < blank + 4)
        return false;
    const QByteArray code = statusLine_.mid(blank + 1, 3);
    if (!isDigit(code[0]) || !isDigit(code[1]) || !isDigit(code[2]))
        return false;
    // "HTTP/1.1 2000" is no status 200.
    if (statusLine_.size() > blank + 4 && statusLine_[blank + 4] != ' ')
        return false;
    status_ = code.toInt();

    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (line.isEmpty())
            continue;
        if (isBlank(line[0]) && !headers_.isEmpty()) {
            // An obsolete folded line continues the previous value.
            QByteArray &value = headers_.last().second;
            value = QByteArray(value + ' ' + line.trimmed()).trimmed();
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue; // not a header line; nothing depends on it
        headers_.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    return lengthsAgree();
}

// Two different lengths leave the end of the body to a guess: such a reply is
// not trusted. The same value repeated (as a list too) is harmless.
bool HttpResponseParser::lengthsAgree() const
{
    QByteArray seen;
    for (const auto &[key, value] : headers_) {
        if (key.compare("Content-Length", Qt::CaseInsensitive) != 0)
            continue;
        for (const QByteArray &item : value.split(',')) {
            const QByteArray one = item.trimmed();
            if (!seen.isNull() && one != seen)
                return false;
            seen = one;
        }
    }
    return true;
}

QByteArray HttpResponseParser::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers_)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value.isNull() ? QByteArray("", 0) : value;
    return QByteArray();
}

qint64 HttpResponseParser::contentLength() const
{
    QByteArray value = header(QByteArrayLiteral("Content-Length"));
    if (value.isNull())
        return -1;
    value = value.split(',').first(); // the parser made sure the others agree
    qsizetype pos = 0;
    skipBlanks(value, &pos);
    qint64 length = 0;
    if (!readDigits(value, &pos, &length))
        return -1;
    skipBlanks(value, &pos);
    return pos == value.size() ? length : -1;
}

bool HttpResponseParser::chunked() const
{
    return header(QByteArrayLiteral("Transfer-Encoding")).toLower().contains("chunked");
}

bool HttpResponseParser::contentRange(qint64 *first, qint64 *last, qint64 *total) const
{
    const QByteArray value = header(QByteArrayLiteral("Content-Range"));
    if (value.isNull())
        return false;
    qsizetype pos = 0;
    if (!value.toLower().startsWith("bytes"))
        return false;
    pos = 5;
    skipBlanks(value, &pos);
    qint64 a = 0;
    qint64 b = 0;
    qint64 t = -1;
    // "bytes */total" answers a range that cannot be satisfied.
    if (value.mid(pos, 2) == "*/") {
        pos += 2;
        if (!readDigits(value, &pos, &t) || pos != value.size())
            return false;
        if (first)
            *first = -1;
        if (last)
            *last = -1;
        if (total)
            *total = t;
        return true;
    }
    if (!readDigits(value, &pos, &a) || pos >= value.size() || value[pos] != '-')
        return false;
    ++pos;
    if (!readDigits(value, &pos, &b) || pos >= value.size() || value[pos] != '/' || b < a)
        return false;
    ++pos;
    if (pos < value.size() && value[pos] == '*')
        ++pos;
    else if (!readDigits(value, &pos, &t) || t <= b)
        return false;
    if (pos != value.size())
        return false;
    if (first)
        *first = a;
    if (last)
        *last = b;
    if (total)
        *total = t;
    return true;
}

ChunkedDecoder::State ChunkedDecoder::feed(const QByteArray &data, QByteArray *out)
{
    // A size or trailer line longer than this is no chunked body.
    constexpr qsizetype kMaxLine = 8 * 1024;
    constexpr qint64 kMaxTrailer = 64 * 1024;

    qsizetype i = 0;
    const qsizetype n = data.size();
    while (i < n && state_ == State::Data) {
        switch (step_) {
        case Step::Data: {
            const qsizetype take = qsizetype(qMin<qint64>(remaining_, n - i));
            out->append(QByteArrayView(data).sliced(i, take));
            i += take;
            remaining_ -= take;
            if (remaining_ == 0)
                step_ = Step::DataEnd;
            break;
        }
        case Step::DataEnd: {
            // CR LF or a bare LF after the chunk's data.
            const char c = data[i++];
            if (c == '\r' && line_.isEmpty())
                line_ = "\r";
            else if (c == '\n') {
                line_.clear();
                step_ = Step::Size;
            } else
                state_ = State::Bad;
            break;
        }
        case Step::Size:
        case Step::Trailer: {
            const qsizetype lf = data.indexOf('\n', i);
            const qsizetype stop = lf < 0 ? n : lf;
            line_.append(QByteArrayView(data).sliced(i, stop - i));
            if (step_ == Step::Trailer)
                trailerBytes_ += stop - i + 1;
            i = lf < 0 ? n : lf + 1;
            if (line_.size() > kMaxLine || trailerBytes_ > kMaxTrailer) {
                state_ = State::Bad;
                break;
            }
            if (lf < 0)
                break;
            if (line_.endsWith('\r'))
                line_.chop(1);
            const QByteArray line = line_;
            line_.clear();
            if (step_ == Step::Trailer) {
                if (line.isEmpty())
                    state_ = State::Done;
                break;
            }
            const qsizetype semicolon = line.indexOf(';');
            const QByteArray hex = (semicolon < 0 ? line : line.left(semicolon)).trimmed();
            bool ok = !hex.isEmpty() && hex.size() <= 15;
            for (const char c : hex)
                ok = ok && std::isxdigit(static_cast<unsigned char>(c));
            if (!ok) {
                state_ = State::Bad;
                break;
            }
            remaining_ = hex.toLongLong(nullptr, 16);
            step_ = remaining_ == 0 ? Step::Trailer : Step::Data;
            break;
        }
        }
    }
    return state_;
}

void ChunkedDecoder::reset()
{
    state_ = State::Data;
    step_ = Step::Size;
    line_.clear();
    remaining_ = 0;
    trailerBytes_ = 0;
}
