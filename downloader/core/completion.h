#pragma once

#include <QtGlobal>

// What is known about a transfer when its connection ends.
struct TransferEnd {
    qint64 onDisk = 0;             // bytes of the file on disk
    qint64 size = 0;               // announced total, 0 when none was announced
    bool http = true;              // false for an FTP data connection
    bool headerComplete = true;    // HTTP: the response header had ended
    bool chunked = false;          // HTTP: the body came in chunks...
    bool lastChunkSeen = false;    // ...and its closing chunk arrived
    bool ftpConfirmed = false;     // FTP: the server confirmed the transfer (226)
    bool tailUnproven = false;     // bytes on disk still being compared with the server's
    bool cutWithoutTlsEnd = false; // HTTPS: the connection ended without the server's close_notify
};

// A download is finished only when every announced byte is on disk, or, with
// no size announced, when the body ended complete (HTTP) or the server
// confirmed it (FTP); anything less is a lost connection to be retried.
// Over TLS a body that only the close delimits ends at close_notify: a bare
// TCP close may be an attacker's or a middlebox's cut.
bool transferComplete(const TransferEnd &end);
