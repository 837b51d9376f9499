#include "links/listado_list.h"

#include "core/atomic_file.h"
#include "core/program_folder.h"
#include "core/text_lines.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace {
QString listPath()
{
    return platform::programFile(u"listado.lst"_s);
}
} // namespace

QStringList factoryExtensions()
{
    return {u"exe"_s, u"zip"_s, u"ace"_s, u"tar"_s, u"iso"_s, u"bmp"_s, u"gif"_s, u"jpg"_s};
}

QStringList decodeExtensionList(const QByteArray &bytes)
{
    QStringList items;
    for (const QByteArray &line : platform::textLines(bytes))
        if (!line.isEmpty())
            items.append(QString::fromLocal8Bit(line));
    return items;
}

QByteArray encodeExtensionList(const QStringList &items)
{
    QByteArray bytes;
    for (const QString &item : items)
        bytes += item.toLocal8Bit() + "\r\n";
    return bytes;
}

bool readExtensionList(QStringList &items)
{
    QFile file(listPath());
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    items = decodeExtensionList(file.readAll());
    return true;
}

bool writeExtensionList(const QStringList &items, QString *error)
{
    return platform::saveFileAtomically(listPath(), encodeExtensionList(items), error);
}
