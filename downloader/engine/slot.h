#pragma once

#include "engine/download_entry.h"
#include "engine/ftp_reply.h"
#include "engine/http_response.h"

#include <QFile>
#include <QString>

#include <memory>

class QTcpSocket;
class download;
namespace platform {
class IntervalTimer;
}

// Bytes of a file's tail asked for again and compared before anything is
// appended to bytes that the download did not write itself.
constexpr qint64 kTailProof = 4096;

// One download: its record and everything that works for it.
struct Slot {
    DownloadEntry e;
    download *indicador = nullptr;
    QTcpSocket *ws = nullptr;  // HTTP, and the FTP data connection
    QTcpSocket *ftp = nullptr; // FTP control connection
    platform::IntervalTimer *redo = nullptr; // retry timer; its tag is the retry budget

    // Where each socket connects and what it asks for (the sockets' tags).
    QString wsHost;
    quint16 wsPort = 0;
    QString wsTag;
    QString ftpHost;
    quint16 ftpPort = 0;

    std::unique_ptr<QFile> file; // the target file while a connection is up
    int idle = 0;                // seconds since data last arrived

    // HTTP response in progress.
    HttpResponseParser response;
    ChunkedDecoder chunks;
    bool chunked = false;
    qint64 requestedFrom = 0; // first byte asked for (0-based)
    int redirects = 0;        // redirects followed in a row
    bool bodyComplete = false; // the response body ended by its own framing

    // FTP control replies in progress.
    FtpReplyBuffer replies;
    bool dataClosed = false; // the data connection ended before the server confirmed it

    // Whether the bytes on disk can be trusted.
    bool ownBytes = false;    // written or proven by this download since it entered the table
    qint64 proofLeft = 0;     // bytes of the file's tail still to compare with what arrives
    qint64 proofAt = 0;       // where in the file the next compared byte sits
    bool sizeChanged = false; // stopped because the server's file changed; a reconnect starts over
    quint64 generation = 0;   // another value once the slot holds another download
    bool askingLogin = false; // the login dialog is asking for this download: no retries meanwhile

    bool loaded() const { return indicador != nullptr; }
};
