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
    EVENT_FAILED = 7,
};

constexpr UINT WM_DOWNLOAD_EVENT = WM_USER + 101;
