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
    if (code == EVENT_FAILED) return OnEngineFailure(FAILURE_OTHER);
    return Post(code, reinterpret_cast<LPARAM>(record));
}

bool EventPoster::OnEngineFailure(FailureCause cause)
{
    if (OpenMsgBoxCount() > 0) return false;
    return Post(EVENT_FAILED, static_cast<LPARAM>(cause));
}
