#pragma once
#include <windows.h>

#include <atomic>
#include <string>

#include "platform/UniqueHandle.h"

// Base of the engine's threads. The stopping flag is set from construction
// until the thread runs, and again once a stop was asked; the stop event is
// signalled with it so that a thread waiting for work, or for a WinINet call
// of its requests, wakes at once.
class IBaseThread {
public:
    IBaseThread();
    virtual ~IBaseThread();
    IBaseThread(const IBaseThread&) = delete;
    IBaseThread& operator=(const IBaseThread&) = delete;

    virtual std::string GetName() const { return name_; }
    // False when the thread could not be created.
    [[nodiscard]] virtual bool Start() = 0;
    // Asks the thread to stop and waits up to `waitMs` for it to end; false
    // when it is still running (it must then outlive this object's owner).
    virtual bool Stop(DWORD waitMs = INFINITE) = 0;
    virtual bool IsStopping() const { return stopping_.load(); }
    virtual DWORD GetThreadId() const { return threadId_; }

    // Sets the stopping flag without waiting: lets several threads wind down
    // at once before each is joined.
    void RequestStop();
    // What cancels the thread's requests (HttpRangeRequest).
    HANDLE StopEvent() const { return stopEvent_.Get(); }

protected:
    // Creates the thread unless it exists; clears the stopping flag when it
    // was created. False when it could not be created.
    [[nodiscard]] bool Launch();
    // Sets the stopping flag and waits up to `waitMs` for the thread to end;
    // false when it is still running.
    bool Join(DWORD waitMs);
    void SetName(const std::string& name);
    bool Created() const { return thread_.Valid(); }

    virtual void Routine() = 0;

private:
    static unsigned __stdcall Entry(void* self);

    char name_[32] = {};
    DWORD threadId_ = 0;
    std::atomic<bool> stopping_{true};
    UniqueHandle thread_;
    UniqueHandle stopEvent_;
};
