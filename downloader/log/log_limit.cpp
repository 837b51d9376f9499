#include "log/log_limit.h"

#include <algorithm>

using namespace Qt::StringLiterals;

QList<RtfRun> dropLeadingText(const QList<RtfRun> &runs, qsizetype count)
{
    QList<RtfRun> rest;
    for (const RtfRun &run : runs) {
        if (count >= run.text.size()) {
            count -= run.text.size();
            continue;
        }
        rest.append({run.text.mid(count), run.color});
        count = 0;
    }
    return rest;
}

qsizetype logTrimLength(const QList<RtfRun> &runs, int histsize)
{
    const qint64 limit = qint64(std::max(histsize, 0)) * 1024;
    const auto fits = [&](qsizetype cut) { return encodeRtf(dropLeadingText(runs, cut)).size() <= limit; };

    QString text;
    for (const RtfRun &run : runs)
        text += run.text;
    QList<qsizetype> cuts{0};
    for (qsizetype at = text.indexOf(u"\r\n"_s); at >= 0; at = text.indexOf(u"\r\n"_s, at + 2))
        cuts.append(at + 2);

    // Every search restarts at the beginning of what is left, so no line goes
    // that the limit did not require. The saved length shrinks as lines go, so
    // the fewest lines are found by halving instead of one save per line.
    if (fits(cuts.first()))
        return 0;
    if (!fits(cuts.last()))
        return cuts.last();
    qsizetype tooFew = 0;
    qsizetype enough = cuts.size() - 1;
    while (enough - tooFew > 1) {
        const qsizetype middle = tooFew + (enough - tooFew) / 2;
        if (fits(cuts.at(middle)))
            enough = middle;
        else
            tooFew = middle;
    }
    return cuts.at(enough);
}
