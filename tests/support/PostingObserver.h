#pragma once
#include <windows.h>

#include <atomic>

#include "engine/DownloadEvents.h"
#include "engine/IEngineObserver.h"

// Stands in for the application's observer: posts the engine's events to a
// window, and is the engine's observer for its lifetime. Failures can be
// refused, as the application does while a box is open, or every post
// made to fail.
class PostingObserver : public IEngineObserver {
public:
    explicit PostingObserver(HWND window) : window_(window) { Register(this); }
    ~PostingObserver() { Register(nullptr); }
    PostingObserver(const PostingObserver&) = delete;
    PostingObserver& operator=(const PostingObserver&) = delete;

    bool OnEngineEvent(int code, ProgressRecord* record) override
    {
        if (failEveryPost.load() || (code == EVENT_FAILED && refuseFailures.load())) return false;
        return PostMessageW(window_, WM_DOWNLOAD_EVENT, static_cast<WPARAM>(code), reinterpret_cast<LPARAM>(record)) !=
               FALSE;
    }
    bool OnEngineFailure(FailureCause cause) override
    {
        if (failEveryPost.load() || refuseFailures.load()) return false;
        return PostMessageW(window_, WM_DOWNLOAD_EVENT, EVENT_FAILED, static_cast<LPARAM>(cause)) != FALSE;
    }
    bool Listening() const override { return true; }

    std::atomic<bool> refuseFailures{false};
    // Every post fails, as to a window that is gone.
    std::atomic<bool> failEveryPost{false};

private:
    HWND window_;
};
