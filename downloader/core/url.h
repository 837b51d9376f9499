#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <stdexcept>

// The URL helpers. They work on text only, with the program's own splitting
// rules: what they return is what is sent to servers and used as file names.

// The host name; nothing for a scheme that is not downloaded. The window
// side tells the user (GetHost).
std::optional<QString> hostOf(const QString &url);
// Request path without its leading slash, or "/".
QString GetPath(const QString &url);
// Local file name suggested for the URL; never leaves the chosen folder.
QString GetFileName(const QString &url);
// The last part of the address as the server knows it ("%20" read as a
// blank), before GetFileName makes it safe as a local name.
QString urlFileName(const QString &url);
// TCP port (80/443/21 by scheme when none is given, 0 for an unknown scheme).
quint16 GetPort(const QString &url);

// The value of a request's Host header: the port only when it is not the
// scheme's own (80, or 443 when secure).
QByteArray hostLine(const QString &host, quint16 port, bool secure);

// what() is told to the user as it is: Spanish, in UTF-8.
class UrlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// Removes ".." segments in place. Throws UrlError on more than 256 segments
// or a ".." that would step before the first segment.
void NormalizeUrl(QString &url);

// Text after the last dot ("" without a dot; the whole name when it starts with the dot).
QString GetExtension(const QString &name);

// "h1,h2,h3,h4,p1,p2" -> address "h1.h2.h3.h4" and port p1*256+p2.
void ParsePassiveReply(QString &text, QString &address, int &port);
