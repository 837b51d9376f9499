#include "core/plain_text.h"

using namespace Qt::StringLiterals;

namespace platform {

namespace {
bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}
} // namespace

QString escapeControls(const QString &text)
{
    qsizetype k = 0;
    while (k < text.size() && !isControl(text[k].unicode()))
        ++k;
    if (k == text.size())
        return text;
    QString out = text.left(k);
    for (; k < text.size(); ++k) {
        const char16_t c = text[k].unicode();
        if (!isControl(c))
            out += QChar(c);
        else if (c == u'\r')
            out += u"\\r"_s;
        else if (c == u'\n')
            out += u"\\n"_s;
        else if (c == u'\t')
            out += u"\\t"_s;
        else if (c <= 0xFF)
            out += u"\\x"_s + QString::number(c, 16).toUpper().rightJustified(2, u'0');
        else
            out += u"\\u"_s + QString::number(c, 16).toUpper();
    }
    return out;
}

QString escapeLogEntry(const QString &text)
{
    const QString crlf = u"\r\n"_s;
    qsizetype first = 0;
    while (text.mid(first, 2) == crlf)
        first += 2;
    qsizetype last = text.size();
    while (last - 2 >= first && text.mid(last - 2, 2) == crlf)
        last -= 2;
    return text.left(first) + escapeControls(text.mid(first, last - first)) + text.mid(last);
}

} // namespace platform
