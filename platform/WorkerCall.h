#pragma once
#include <windows.h>

#include <functional>

#include "platform/UniqueHandle.h"

// A function run on a thread of its own from construction, so it overlaps the
// caller's work. Wait() (or the destructor) joins it; without a thread it
// runs there instead. What the function touches must outlive the join.
class WorkerCall {
public:
    explicit WorkerCall(std::function<void()> work);
    ~WorkerCall() { Wait(); }
    WorkerCall(const WorkerCall&) = delete;
    WorkerCall& operator=(const WorkerCall&) = delete;

    void Wait();

private:
    static unsigned __stdcall Entry(void* self);

    std::function<void()> work_;
    UniqueHandle thread_;
    bool done_ = false;
};
