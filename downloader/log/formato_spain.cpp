#include "log/formato_spain.h"

using namespace Qt::StringLiterals;

QString FormatoSpain(const QString &date)
{
    return date.mid(3, 2) + u"/"_s + date.left(2) + u"/"_s + date.right(4);
}
