#pragma once
#include <windows.h>

#include <atomic>

#include "engine/IEngineObserver.h"

// Carries the engine's and the controller's events to the main window as
// posted WM_DOWNLOAD_EVENT, so that every reaction runs on the main thread.
// One for the process, so it outlives the engine's threads; every member is
// safe to call from any thread.
class EventPoster : public IEngineObserver {
public:
    static EventPoster& Instance();

    // The window the events go to; null while there is none, and then
    // nothing is posted.
    void SetWindow(HWND window) { window_.store(window); }
    HWND Window() const { return window_.load(); }

    // False when there is no window or the post failed: the caller then
    // still owns what param points to.
    bool Post(int code, LPARAM param);

    // A failure is refused while a message box is open: the user is answering
    // one already, and a second would stack on it. The engine tells again at
    // its next failure.
    bool OnEngineEvent(int code, ProgressRecord* record) override;
    bool OnEngineFailure(FailureCause cause) override;
    bool Listening() const override { return Window() != nullptr; }

private:
    EventPoster() = default;

    std::atomic<HWND> window_{nullptr};
};
