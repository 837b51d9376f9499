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

bool looksLikeText(const QByteArray &bytes)
{
    qsizetype controls = 0;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0)
            return false;
        // DOS's end-of-file mark (26) and escape sequences (27) turn up in
        // old text files.
        if (b < 32 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != 26 && b != 27)
            ++controls;
    }
    // Random bytes are about one in ten of them; text has next to none.
    return controls * 100 <= bytes.size();
}

} // namespace platform
