#pragma once

#include <QLoggingCategory>
#include <QMetaType>

// Where one download stands. The windows derive the row's flags, colours and
// texts from it; nothing else records it.
enum class DownloadState {
    Connecting,   // a connection is being opened (first, retried or redirected)
    Transferring, // connected: data may arrive
    WaitingRetry, // the connection was given up; the retry timer runs
    AskingLogin,  // the server refused the login; the user is asked, nothing is retried
    Stopped,      // waits for the user (see StopReason)
    Exhausted,    // no retries left
    Finished,     // every byte is on disk
    Queued,       // in the queue, to be moved to the active table
    Locked,       // in the queue, kept there by the user
};
Q_DECLARE_METATYPE(DownloadState)

// Why a download waits for the user.
enum class StopReason {
    None,
    Refused,        // the server or the integrity rules refused what it sent
    SizeChanged,    // the server's file is another one now; a reconnect starts over
    FileFailed,     // the target file could not be written
    AddressExpired, // the address no longer serves the file; another one may take over its bytes
};

const char *stateName(DownloadState state);

// The row's three flags as the windows have always kept them.
inline bool isFinished(DownloadState s)
{
    return s == DownloadState::Finished;
}
inline bool waitsForUser(DownloadState s) // "redoend": the row is red, Reconectar is offered
{
    return s == DownloadState::Stopped || s == DownloadState::Exhausted;
}
inline bool isReconnecting(DownloadState s) // "Reconectando": no data flows
{
    return s == DownloadState::Connecting || s == DownloadState::WaitingRetry || s == DownloadState::AskingLogin;
}

// Every change of state, "slot: old -> new"; off unless enabled
// (QT_LOGGING_RULES="tandrel.state.debug=true").
Q_DECLARE_LOGGING_CATEGORY(stateLog)
