#include "app/EventPoster.h"

#include "app/CMsgBox.h"
#include "engine/DownloadEvents.h"

EventPoster& EventPoster::Instance()
{
    static EventPoster poster;
    return poster;
}

bool EventPoster::Post(int code, LPARAM param)
{
    const HWND window = Window();
    // PostMessageW with a null window would post to this thread's own queue.
    if (window == nullptr) return false;
    return PostMessageW(window, WM_DOWNLOAD_EVENT, static_cast<WPARAM>(code), param) != FALSE;
}

bool EventPoster::OnEngineEvent(int code, ProgressRecord* record)
{
    if (code == EVENT_FAILED && OpenMsgBoxCount() > 0) return false;
    return Post(code, reinterpret_cast<LPARAM>(record));
}
