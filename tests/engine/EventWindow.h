#pragma once
#include <windows.h>

#include <memory>
#include <vector>

#include "engine/ProgressRecord.h"
#include "support/PostingObserver.h"
#include "support/Wait.h"

// A hidden message-only window on the test thread, the engine's observer for
// its lifetime, that collects the engine's events and frees their records.
class EventWindow {
public:
    struct Event {
        int code;
        bool hasRecord;
        ProgressRecord record;
        LPARAM cause;  // of EVENT_FAILED
    };

    EventWindow();
    ~EventWindow();

    const std::vector<Event>& Events() const { return events_; }
    int Count(int code) const;
    const Event* Last(int code) const;
    // Bytes done by the last progress event; 0 before the first.
    int64_t LastDone() const;
    // While set, failures are refused as the application refuses them under a box.
    void RefuseFailures(bool refuse) { observer_->refuseFailures.store(refuse); }
    // While set, every event post fails, while the window still listens.
    void FailEveryPost(bool fail) { observer_->failEveryPost.store(fail); }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
    std::unique_ptr<PostingObserver> observer_;
    std::vector<Event> events_;
};
