#pragma once
#include <windows.h>

// Events the controller and the engine send to the main window: the code goes
// in wParam, its parameter in lParam.
enum DownloadEvent : int {
    EVENT_CONNECT_FAILED = 0,
    EVENT_CANNOT_DOWNLOAD = 1,
    EVENT_RESTART = 2,
    EVENT_NEWER_VERSION = 3,
    EVENT_PROGRESS = 4,    // lParam: ProgressRecord*, freed by the window
    EVENT_DOWNLOADED = 5,  // lParam: ProgressRecord*, freed by the window
    EVENT_READY = 6,
    EVENT_FAILED = 7,  // lParam: FailureCause
};

constexpr UINT WM_DOWNLOAD_EVENT = WM_USER + 101;

// Why a job failed: the lParam of EVENT_FAILED, from the controller and the
// engine alike. The user can act on a full disk; anything else offers the
// web site's full package.
enum FailureCause : int {
    FAILURE_OTHER = 0,
    FAILURE_DISK_FULL = 1,
};

inline FailureCause FailureCauseOf(DWORD error)
{
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? FAILURE_DISK_FULL : FAILURE_OTHER;
}
