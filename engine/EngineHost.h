#pragma once
#include <windows.h>

// What the engine knows of the window side: the window its events go to and
// whether a message box is open over it. The application keeps both in step
// with its main window; every member is safe to call from any thread.
class EngineHost {
public:
    // Null means there is no window: events are not posted and their records
    // are freed by the engine.
    static void SetMainWindow(HWND window);
    static HWND MainWindow();

    static void SetMessageBoxOpen(bool open);
    static bool IsMessageBoxOpen();

    // Posts WM_DOWNLOAD_EVENT to the main window. False when there is no
    // window or the post failed; the caller then still owns what lParam points to.
    static bool PostEvent(int code, LPARAM param);
};
