#include "platform/WorkerCall.h"

#include <process.h>

#include <utility>

#include "platform/LogFailedCall.h"

WorkerCall::WorkerCall(std::function<void()> work) : work_(std::move(work))
{
    // _beginthreadex rather than CreateThread: the work uses the C runtime.
    thread_.Reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &WorkerCall::Entry, this, 0, nullptr)));
    if (!thread_) LOG_FAILED_CALL("_beginthreadex");
}

unsigned __stdcall WorkerCall::Entry(void* self)
{
    static_cast<WorkerCall*>(self)->work_();
    return 0;
}

void WorkerCall::Wait()
{
    if (done_) return;
    done_ = true;
    // The work ends on its own: it reads local files held open.
    if (thread_) {
        WaitForSingleObject(thread_.Get(), INFINITE);
        thread_.Reset();
    } else {
        work_();
    }
}
