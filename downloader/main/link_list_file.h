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
    QString error; // empty when the file held at least its three leading fields
    bool ok() const { return error.isEmpty(); }
};

LinkListFile decodeLinkList(const QByteArray &bytes);
