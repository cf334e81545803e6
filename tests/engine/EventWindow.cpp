#include "EventWindow.h"

#include "engine/DownloadEvents.h"
#include "engine/EngineHost.h"

namespace {
const wchar_t kClass[] = L"QuorvexEngineTestEvents";
}

EventWindow::EventWindow()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &EventWindow::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassW(&wc); // fails harmlessly when already registered
    hwnd_ = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, this);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    EngineHost::SetMainWindow(hwnd_);
}

EventWindow::~EventWindow()
{
    EngineHost::SetMainWindow(nullptr);
    // Records still queued for the window are owned by it.
    Pump(0);
    DestroyWindow(hwnd_);
}

LRESULT CALLBACK EventWindow::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_DOWNLOAD_EVENT) {
        auto* self = reinterpret_cast<EventWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        Event event{static_cast<int>(wParam), false, {}};
        if ((wParam == EVENT_PROGRESS || wParam == EVENT_DOWNLOADED) && lParam != 0) {
            auto* record = reinterpret_cast<ProgressRecord*>(lParam);
            event.hasRecord = true;
            event.record = *record;
            delete record;
        }
        if (self != nullptr) self->events_.push_back(event);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool EventWindow::WaitFor(const std::function<bool()>& pred, DWORD timeoutMs)
{
    const DWORD began = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        if (pred()) return true;
        DWORD spent = GetTickCount() - began;
        if (spent >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - spent < 50 ? timeoutMs - spent : 50, QS_ALLINPUT);
    }
}

void EventWindow::Pump(DWORD ms)
{
    WaitFor([] { return false; }, ms);
}

int EventWindow::Count(int code) const
{
    int n = 0;
    for (const Event& e : events_) n += e.code == code ? 1 : 0;
    return n;
}

const EventWindow::Event* EventWindow::Last(int code) const
{
    for (auto it = events_.rbegin(); it != events_.rend(); ++it)
        if (it->code == code) return &*it;
    return nullptr;
}
