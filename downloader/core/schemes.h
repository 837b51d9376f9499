#pragma once

#include <QString>
#include <QStringView>

// The addresses a download can start from: exact, lower-case prefixes.
inline bool isDownloadAddress(QStringView url)
{
    return url.startsWith(u"http://") || url.startsWith(u"https://") || url.startsWith(u"ftp://");
}

// The addresses a page can be read from.
inline bool isPageAddress(QStringView url)
{
    return url.startsWith(u"http://") || url.startsWith(u"https://");
}

// What the user is told of an address that starts with none of them.
inline QString wrongAddressText()
{
    return QStringLiteral("Escriba una dirección correcta (debe empezar por http://, https:// o ftp://)");
}
