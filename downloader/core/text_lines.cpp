#include "core/text_lines.h"

namespace platform {

QByteArrayList textLines(const QByteArray &bytes)
{
    QByteArrayList lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        if (end < 0)
            end = bytes.size();
        qsizetype stop = end;
        if (stop > start && bytes.at(stop - 1) == '\r')
            --stop;
        lines << bytes.mid(start, stop - start);
        start = next;
    }
    return lines;
}

} // namespace platform
