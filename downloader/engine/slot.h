#pragma once

#include "engine/download_entry.h"

#include <QString>

class Transfer;
class download;
namespace platform {
class IntervalTimer;
}

// One download: its record and everything that works for it. The record is
// the window's copy of what the transfer reports.
struct Slot {
    DownloadEntry e;
    download *indicador = nullptr;
    Transfer *transfer = nullptr;            // on a worker thread
    platform::IntervalTimer *redo = nullptr; // retry timer
    int retriesLeft = 0;                     // the retry budget: reconnections still allowed

    int idle = 0;             // seconds since data last arrived
    qint64 received = 0;      // bytes the transfer had received at its last report
    int attempt = 0;          // the transfer's signals of other attempts are stale
    bool sizeChanged = false; // stopped because the server's file changed; a reconnect starts over
    quint64 generation = 0;   // another value once the slot holds another download
    bool askingLogin = false; // the login dialog is asking for this download: no retries meanwhile

    bool loaded() const { return indicador != nullptr; }
};
