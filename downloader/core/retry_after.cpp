#include "core/retry_after.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

int monthOf(const QString &name)
{
    static const QStringList months = {u"Jan"_s, u"Feb"_s, u"Mar"_s, u"Apr"_s, u"May"_s, u"Jun"_s,
                                       u"Jul"_s, u"Aug"_s, u"Sep"_s, u"Oct"_s, u"Nov"_s, u"Dec"_s};
    return int(months.indexOf(name)) + 1;
}

// A two-digit year is the latest one with those digits that is not more
// than fifty years ahead.
int fullYear(int twoDigits)
{
    const int now = QDate::currentDate().year();
    int year = now / 100 * 100 + twoDigits;
    if (year > now + 50)
        year -= 100;
    return year;
}

QDateTime utc(int year, int month, int day, int hour, int minute, int second)
{
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

} // namespace

QDateTime parseHttpDate(const QByteArray &text)
{
    static const QRegularExpression fixdate(
        u"^(?:Mon|Tue|Wed|Thu|Fri|Sat|Sun), (\\d\\d) ([A-Z][a-z]{2}) (\\d{4}) (\\d\\d):(\\d\\d):(\\d\\d) GMT$"_s);
    static const QRegularExpression rfc850(
        u"^(?:Monday|Tuesday|Wednesday|Thursday|Friday|Saturday|Sunday), (\\d\\d)-([A-Z][a-z]{2})-(\\d\\d) "
        u"(\\d\\d):(\\d\\d):(\\d\\d) GMT$"_s);
    static const QRegularExpression asctime(
        u"^(?:Mon|Tue|Wed|Thu|Fri|Sat|Sun) ([A-Z][a-z]{2}) ([ \\d]\\d) (\\d\\d):(\\d\\d):(\\d\\d) (\\d{4})$"_s);
    const QString s = QString::fromLatin1(text);
    const auto n = [](const QRegularExpressionMatch &m, int k) { return m.captured(k).trimmed().toInt(); };
    if (const auto m = fixdate.match(s); m.hasMatch())
        return utc(n(m, 3), monthOf(m.captured(2)), n(m, 1), n(m, 4), n(m, 5), n(m, 6));
    if (const auto m = rfc850.match(s); m.hasMatch())
        return utc(fullYear(n(m, 3)), monthOf(m.captured(2)), n(m, 1), n(m, 4), n(m, 5), n(m, 6));
    if (const auto m = asctime.match(s); m.hasMatch())
        return utc(n(m, 6), monthOf(m.captured(1)), n(m, 2), n(m, 3), n(m, 4), n(m, 5));
    return {};
}

std::optional<qint64> retryAfterSeconds(const QByteArray &value, const QDateTime &now)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        bool ok = false;
        const qint64 seconds = text.toLongLong(&ok);
        // Too many digits for a number is still a wait longer than any.
        return ok ? seconds : std::numeric_limits<qint64>::max();
    }
    const QDateTime when = parseHttpDate(text);
    if (!when.isValid())
        return std::nullopt;
    return std::max<qint64>(0, now.secsTo(when));
}

int retryDelaySeconds(int usualSeconds, int serverSeconds)
{
    if (serverSeconds < 0)
        return usualSeconds;
    return std::clamp(serverSeconds, usualSeconds, std::max(usualSeconds, kMaxRetryDelaySeconds));
}
