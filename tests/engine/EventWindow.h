#pragma once
#include <windows.h>

#include <functional>
#include <vector>

#include "engine/ProgressRecord.h"

// A hidden message-only window on the test thread that the engine posts its
// events to. Registers itself with EngineHost for its lifetime and takes
// ownership of every ProgressRecord it receives.
class EventWindow {
public:
    struct Event {
        int code;
        bool hasRecord;
        ProgressRecord record;
    };

    EventWindow();
    ~EventWindow();
    EventWindow(const EventWindow&) = delete;
    EventWindow& operator=(const EventWindow&) = delete;

    HWND Handle() const { return hwnd_; }

    // Dispatches this thread's messages until pred() holds or the time is up.
    bool WaitFor(const std::function<bool()>& pred, DWORD timeoutMs);
    // Dispatches messages for the given time.
    void Pump(DWORD ms);

    const std::vector<Event>& Events() const { return events_; }
    int Count(int code) const;
    const Event* Last(int code) const;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
    std::vector<Event> events_;
};
