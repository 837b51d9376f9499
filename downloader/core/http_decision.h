#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSslError>
#include <QString>

#include "core/message.h"

// What a complete response header says, together with what the download
// knows at that moment.
struct ResponseFacts {
    int status = 0;
    QByteArray statusLine;
    qint64 contentLength = -1; // -1 when absent
    bool chunked = false;
    bool ranged = false; // a usable Content-Range came with it
    qint64 rangeFirst = -1;
    qint64 rangeTotal = -1;      // -1 for "*" or absent
    QByteArray location;         // null when absent
    QByteArray contentEncoding;  // null when absent
    QByteArray retryAfter;       // null when absent
    QDateTime now;               // when the reply came, for a Retry-After date
    qint64 requestedFrom = 0;    // first byte asked for (0-based)
    qint64 onDisk = 0;           // bytes of the target file on disk
    qint64 knownSize = 0;        // total the download already knows, 0 when none
    bool ifRangeSent = false;    // the request carried If-Range with the file's validator
    bool replyValidated = false; // the reply names its file by a strong ETag or Last-Modified
    QByteArray contentType;      // null when absent
    bool fileIsPage = false;     // the download's own file is an html page (see fileIsPage())
    QString url;
    QString host;
    QString file;             // the target file, for the notices
    bool sessionLost = false; // came from the browser with a session it no longer has
};

struct ResponseDecision {
    enum class Kind {
        Write,            // the body goes to the file from writeFrom
        Redirect,         // follow location
        Finished,         // every byte is already on disk
        RestartFromStart, // the bytes on disk are not the server's: fetch it all again
        Retry,            // an answer not to trust: keep the bytes, try again later
        Stop,             // stop with notice; the bytes on disk stay
        Remove            // the file is gone from the server
    };
    Kind kind = Kind::Retry;
    qint64 writeFrom = 0;        // Write: offset of the body's first byte
    qint64 size = 0;             // Write, Finished: the total now known, 0 when unknown
    bool resumable = false;      // Write: the server honoured the range
    bool sizeChanged = false;    // Stop: the server's file is no longer the one being fetched
    bool fileChanged = false;    // Write from 0: If-Range answered with the whole, new file
    bool logged = false;         // Stop: the notice also goes to the log, in red
    bool addressExpired = false; // Stop: the address gave bytes and no longer serves the file
    int retryAfter = -1;         // Retry: seconds the server asked to wait, at most the longest delay; -1 when none
    Message notice;              // Stop; Retry: the status text, when not the usual one
    QByteArray location;         // Redirect
};

ResponseDecision decideResponse(const ResponseFacts &facts);

// What a reconnection sends as If-Range: a strong ETag, or else the
// Last-Modified date; empty when the response gave neither (a weak ETag
// cannot be used for ranges).
QByteArray rangeValidator(const QByteArray &etag, const QByteArray &lastModified);

// What is wrong with a refused certificate. Revocation comes first, then
// dates, trust and the host name.
enum class CertificateProblem { Revoked, Expired, NotYetValid, Untrusted, WrongHost, Other };
CertificateProblem certificateProblemOf(const QList<QSslError> &errors);
// The notice of a download stopped by a refused certificate.
Message certificateNotice(const QString &host, const QString &url, const QList<QSslError> &errors);
// The notice for a file whose size on the server is not the one known;
// newSize -1 when the server no longer tells.
Message sizeChangedNotice(const QString &url, qint64 oldSize, qint64 newSize);
// A host taken from a redirect or a list file goes into the request line's
// Host header: blanks and control characters would break or forge it.
bool hostIsSafe(const QString &host);

// A redirect target with a control character in it would carry the server's
// text into the log and the list files: it is no address.
bool locationIsSafe(const QByteArray &location);
