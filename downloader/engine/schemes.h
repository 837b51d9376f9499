#pragma once

#include <QStringView>

// The addresses a download can start from: exact, lower-case prefixes.
inline bool isDownloadAddress(QStringView url)
{
    return url.startsWith(u"http://") || url.startsWith(u"https://") || url.startsWith(u"ftp://");
}
