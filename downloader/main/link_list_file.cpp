#include "main/link_list_file.h"

#include "core/schemes.h"
#include "core/text_lines.h"

using namespace Qt::StringLiterals;

namespace {
// Reads fields one by one the way the list files were written: blanks around
// a field are dropped, quotes delimit a field and are not part of it.
class FieldReader {
public:
    explicit FieldReader(const QString &text) : text_(text) {}

    bool atEnd()
    {
        skipBlanks();
        return pos_ >= text_.size();
    }

    bool next(QString &field)
    {
        if (atEnd())
            return false;
        field.clear();
        if (text_.at(pos_) == u'"') {
            const qsizetype close = text_.indexOf(u'"', pos_ + 1);
            const qsizetype end = close < 0 ? text_.size() : close;
            field = text_.mid(pos_ + 1, end - pos_ - 1);
            pos_ = close < 0 ? text_.size() : close + 1;
            // Whatever follows the closing quote up to the separator is dropped.
            while (pos_ < text_.size() && !isSeparator(text_.at(pos_)))
                ++pos_;
        } else {
            const qsizetype start = pos_;
            while (pos_ < text_.size() && !isSeparator(text_.at(pos_)))
                ++pos_;
            field = text_.mid(start, pos_ - start).trimmed();
        }
        skipSeparator();
        return true;
    }

private:
    static bool isSeparator(QChar c) { return c == u',' || c == u'\r' || c == u'\n'; }

    // Blank lines hold no field: read as one, they would shift every name
    // and size after them (a trailing one would add a nameless download).
    void skipBlanks()
    {
        while (pos_ < text_.size()
               && (text_.at(pos_) == u' ' || text_.at(pos_) == u'\t' || text_.at(pos_) == u'\r'
                   || text_.at(pos_) == u'\n'))
            ++pos_;
    }

    // A comma, or one line end (CR LF, CR or LF).
    void skipSeparator()
    {
        if (pos_ >= text_.size())
            return;
        if (text_.at(pos_) == u'\r' && pos_ + 1 < text_.size() && text_.at(pos_ + 1) == u'\n')
            ++pos_;
        ++pos_;
    }

    const QString &text_;
    qsizetype pos_ = 0;
};
} // namespace

LinkListFile decodeLinkList(const QByteArray &bytes)
{
    LinkListFile list;
    // Read as a list, a binary file gives thousands of garbage names.
    if (!platform::looksLikeText(bytes)) {
        list.error = u"El archivo no es una lista de archivos: no es un archivo de texto."_s;
        return list;
    }
    const QString text = QString::fromLocal8Bit(bytes);
    FieldReader reader(text);
    QString skipped;
    if (!reader.next(skipped) || !reader.next(list.url) || !reader.next(skipped)) {
        list.url.clear();
        list.error = u"Se ha intentado leer más allá del final del archivo."_s;
        return list;
    }
    // Every name is joined to the base address: without a usable one, not
    // one of them could be downloaded.
    if (!isDownloadAddress(list.url)) {
        list.url.clear();
        list.error = u"El archivo no es una lista de archivos: no tiene una dirección correcta (debe empezar por "
                     u"http://, https:// o ftp://)."_s;
        return list;
    }
    QString item;
    while (reader.next(item)) {
        list.items << item;
        reader.next(skipped);
    }
    return list;
}
