#include "core/figures.h"

#include "core/download_entry.h"

#include <QLocale>

#include <QTime>
#include <algorithm>

#include <cfloat>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

// Rounds half to even. Values within a few units of the last place of a half
// count as the half: 10.325 * 100 is 1032.4999999999999 in binary but a tie
// in the decimal the value was written in.
double roundScaledHalfEven(double x)
{
    const double floorX = std::floor(x);
    const double fraction = x - floorX;
    const double tolerance = 8 * DBL_EPSILON * qMax(1.0, std::fabs(x));
    if (std::fabs(fraction - 0.5) <= tolerance)
        return std::fmod(floorX, 2.0) == 0 ? floorX : floorX + 1;
    return fraction < 0.5 ? floorX : floorX + 1;
}

} // namespace

QString formatElapsed(qint64 seconds)
{
    qint64 s = qMax<qint64>(0, seconds);
    qint64 m = 0;
    qint64 h = 0;
    if (s > 59) {
        m = s / 60;
        s %= 60;
    }
    if (m > 59) {
        h = m / 60;
        m %= 60;
    }
    return QString::number(h) + u':' + u"%1"_s.arg(m, 2, 10, QChar(u'0')) + u':' + u"%1"_s.arg(s, 2, 10, QChar(u'0'));
}

qint64 roundHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    const double r = roundScaledHalfEven(value);
    // Beyond the 64-bit range there is nothing sensible left to show.
    if (r >= 9.2e18)
        return std::numeric_limits<qint64>::max();
    if (r <= -9.2e18)
        return std::numeric_limits<qint64>::min();
    return qint64(r);
}

double roundHalfEven(double value, int decimals)
{
    if (!std::isfinite(value))
        return value;
    const double scale = std::pow(10.0, decimals);
    const double scaled = value * scale;
    if (!std::isfinite(scaled))
        return value;
    return roundScaledHalfEven(scaled) / scale;
}

QString numberText(double value)
{
    const double rounded = roundHalfEven(value, 2);
    QString text = QString::number(rounded, 'f', 2);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    if (text == u"-0"_s)
        text = u"0"_s;
    // Asked once: this runs for every packet a download receives.
    static const QString point = QLocale::system().decimalPoint();
    text.replace(u'.', point);
    return text;
}

QString bytesText(qint64 value)
{
    constexpr qint64 kKb = 1024;
    constexpr qint64 kMb = 1024 * 1024;
    if (value < kKb)
        return QString::number(value) + u" bytes"_s;
    if (value < kMb)
        return numberText(double(value) / kKb) + u" Kb"_s;
    return numberText(double(value) / kMb) + u" Mb"_s;
}

qint64 bytesOnDisk(const DownloadEntry &e)
{
    return std::max(e.position > 0 ? e.position - 1 : 0, e.written);
}

double percentOnDisk(const DownloadEntry &e)
{
    if (e.size <= 0)
        return 0.0;
    return qMin(100.0, roundHalfEven(double(bytesOnDisk(e)) / double(e.size) * 100.0, 2));
}

QString clockText()
{
    return QTime::currentTime().toString(u"hh:mm:ss"_s);
}
