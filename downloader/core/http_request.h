#pragma once

#include <QByteArray>
#include <QString>

// A GET for a byte range of one file: what a download's connections send.
struct RangeRequest {
    QString host;
    quint16 port = 0;
    bool secure = false;
    QString path;         // as stored, without the leading slash
    qint64 first = 0;     // first byte wanted (0-based)
    qint64 last = -1;     // last byte wanted; -1 for the rest of the file
    QByteArray validator; // sent as If-Range when asking from inside the file
    // The browser's session for this request (sessionHeaders); empty for none.
    QByteArray cookie;
    QByteArray referer;
};

// The request's bytes. If-Range goes out only with a validator and a range
// that does not start at byte 0.
QByteArray rangeRequestBytes(const RangeRequest &r);
