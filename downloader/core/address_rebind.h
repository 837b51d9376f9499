#pragma once

#include "core/http_decision.h"

#include <QByteArray>
#include <QString>

// An address that fetched part of a file may stop serving it (a signed
// address expires, a session ends). The download then stops with its bytes,
// and another address is taken for it only once it proves to serve the same
// file. These are the rules, without sockets.

// Why an address that has given bytes no longer serves the file.
enum class ExpiredCause {
    None,
    Refused,   // 401, 403
    Gone,      // 404, 410
    Page,      // an html page in place of a file that is not one
    OtherSize, // the server's file has another size now
};

// A Content-Type that says html.
bool isPageType(const QByteArray &contentType);
// The download's own file is a page: its name says so, or the first reply
// that started it was html.
bool fileIsPage(const QString &file, const QByteArray &firstType);
// What the reply means for an address that already gave bytes; base is the
// decision taken on the reply's status and sizes alone.
ExpiredCause expiredCause(const ResponseFacts &facts, const ResponseDecision &base);

// The last path segment of an address, decoded: the name its file would get.
QString fileNameOfUrl(const QString &url);
// A new address names the partial file (case aside: hosts differ there).
bool namesPartialFile(const QString &url, const QString &file);

// What a new address must prove before the download goes on from it.
struct BindingKnown {
    qint64 size = 0;      // the file's size as known, 0 when unknown
    QByteArray validator; // ETag or Last-Modified of the old address, empty when unknown
    qint64 tailFrom = 0;  // where the compared bytes start (0-based)
    QByteArray tail;      // the bytes on disk from tailFrom up to the position
};

// The new address's answer to the range asked for the tail.
struct ProbeReply {
    bool answered = false; // a complete header came
    int status = 0;
    bool ranged = false;
    qint64 rangeFirst = -1;
    qint64 rangeTotal = -1; // -1 for "*"
    QByteArray validator;   // rangeValidator() of the reply
    QByteArray contentType;
    QByteArray body; // the range's bytes
};

enum class BindVerdict {
    Proven,
    NoAnswer,       // no reply at all (unreachable, cut, too slow)
    NoRange,        // the address answers, but not with the part asked for
    OtherSize,      // its file has another size
    OtherValidator, // its file names itself otherwise
    OtherBytes,     // the bytes before the position differ
    DiskUnreadable, // the bytes on disk could not be read to compare
};

BindVerdict judgeProbe(const BindingKnown &known, const ProbeReply &reply);

// How many bytes before the position the proof compares.
inline constexpr qint64 kRebindTailBytes = 4096;
