#pragma once

#include "core/download_entry.h"
#include "core/download_state.h"

class Transfer;
namespace platform {
class IntervalTimer;
}

// One active download: its record and everything that works for it. The
// record is the table's copy of what the transfer reports.
struct Slot {
    DownloadEntry e;
    bool loaded = false; // holds a download, finished ones included
    DownloadState state = DownloadState::Connecting;
    StopReason stopReason = StopReason::None;
    Transfer *transfer = nullptr;            // on a worker thread
    platform::IntervalTimer *redo = nullptr; // retry timer
    int retriesLeft = 0;                     // the retry budget: reconnections still allowed
    int ownLimitKb = 0;                      // this download's speed limit, kept while it is loaded; 0 is none

    int idle = 0;           // seconds since data last arrived
    qint64 received = 0;    // bytes the transfer had received at its last report
    int attempt = 0;        // the transfer's signals of other attempts are stale
    quint64 generation = 0; // another value once the slot holds another download
    QByteArray validator;   // the file's ETag or Last-Modified as last served, for proving another address

    bool sizeChanged() const { return state == DownloadState::Stopped && stopReason == StopReason::SizeChanged; }
};
