#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A saved list of links: fields separated by commas or line ends, a field in
// double quotes may hold commas. The second field is the base address; after
// the third, every other field is a file name.
struct LinkListFile {
    QString url;
    QStringList items;
    // Empty when the file is text, holds at least its three leading fields and
    // its base address is one a download can start from.
    QString error;
    bool ok() const { return error.isEmpty(); }
};

LinkListFile decodeLinkList(const QByteArray &bytes);
