#include "core/download_state.h"

Q_LOGGING_CATEGORY(stateLog, "tandrel.state", QtWarningMsg)

const char *stateName(DownloadState state)
{
    switch (state) {
    case DownloadState::Connecting:
        return "Connecting";
    case DownloadState::Transferring:
        return "Transferring";
    case DownloadState::WaitingRetry:
        return "WaitingRetry";
    case DownloadState::AskingLogin:
        return "AskingLogin";
    case DownloadState::Stopped:
        return "Stopped";
    case DownloadState::Exhausted:
        return "Exhausted";
    case DownloadState::Finished:
        return "Finished";
    case DownloadState::Queued:
        return "Queued";
    case DownloadState::Locked:
        return "Locked";
    }
    return "?";
}
