#pragma once
#include <atomic>

#include "engine/IBaseThread.h"

// Receives the engine's thread messages: queues range tasks, accumulates
// written bytes per download and tells the observer of the first failure.
// Blocks on its message queue.
class CMessagePumpThread : public IBaseThread {
public:
    CMessagePumpThread();
    ~CMessagePumpThread() override;

    // Returns once the thread's message queue exists, so no post is lost;
    // false when the thread could not be created.
    [[nodiscard]] bool Start() override;
    // Posts WM_QUIT behind everything already queued and waits for the end.
    bool Stop(DWORD waitMs = INFINITE) override;

    // The observer took a failure event since the thread started.
    bool ErrorNotified() const { return errorNotified_.load(); }

protected:
    void Routine() override;

private:
    void Handle(const MSG& msg, bool mayNotify);

    std::atomic<bool> errorNotified_{false};
    UniqueHandle queueReady_;
};
