#include "EventWindow.h"

#include <algorithm>

#include "engine/DownloadEvents.h"

EventWindow::EventWindow()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &EventWindow::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuorvexEngineTestEvents";
    RegisterClassW(&wc);  // fails harmlessly when already registered
    hwnd_ = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    observer_ = std::make_unique<PostingObserver>(hwnd_);
}

EventWindow::~EventWindow()
{
    observer_.reset();
    PumpFor(0);  // records still queued belong to the window
    DestroyWindow(hwnd_);
}

LRESULT CALLBACK EventWindow::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_DOWNLOAD_EVENT) return DefWindowProcW(hwnd, msg, wParam, lParam);
    Event event{static_cast<int>(wParam), false, {}, wParam == EVENT_FAILED ? lParam : 0};
    if ((wParam == EVENT_PROGRESS || wParam == EVENT_DOWNLOADED) && lParam != 0) {
        auto* record = reinterpret_cast<ProgressRecord*>(lParam);
        event.hasRecord = true;
        event.record = *record;
        delete record;
    }
    reinterpret_cast<EventWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))->events_.push_back(event);
    return 0;
}

int EventWindow::Count(int code) const
{
    return static_cast<int>(
        std::count_if(events_.begin(), events_.end(), [&](const Event& e) { return e.code == code; }));
}

const EventWindow::Event* EventWindow::Last(int code) const
{
    for (auto it = events_.rbegin(); it != events_.rend(); ++it)
        if (it->code == code) return &*it;
    return nullptr;
}

int64_t EventWindow::LastDone() const
{
    const Event* last = Last(EVENT_PROGRESS);
    return last != nullptr ? last->record.done : 0;
}
