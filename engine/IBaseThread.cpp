#include "engine/IBaseThread.h"

#include <process.h>

#include <cstdio>

#include "platform/LogFailedCall.h"

IBaseThread::IBaseThread() : stopEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

IBaseThread::~IBaseThread() = default;

void IBaseThread::SetName(const std::string& name) { snprintf(name_, sizeof(name_), "%s", name.c_str()); }

unsigned __stdcall IBaseThread::Entry(void* self)
{
    static_cast<IBaseThread*>(self)->Routine();
    return 0;
}

bool IBaseThread::Launch()
{
    if (thread_) return true;
    ResetEvent(stopEvent_.Get());
    // The flag is cleared before the thread can look at it; it is set again
    // if creation fails.
    stopping_.store(false);
    unsigned id = 0;
    // _beginthreadex rather than CreateThread: the thread uses the C runtime.
    thread_.Reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &IBaseThread::Entry, this, 0, &id)));
    if (!thread_) {
        LOG_FAILED_CALL("_beginthreadex");
        stopping_.store(true);
        return false;
    }
    threadId_ = id;
    return true;
}

void IBaseThread::RequestStop()
{
    stopping_.store(true);
    SetEvent(stopEvent_.Get());
}

bool IBaseThread::Join(DWORD waitMs)
{
    RequestStop();
    if (!thread_) return true;
    if (WaitForSingleObject(thread_.Get(), waitMs) != WAIT_OBJECT_0) return false;
    thread_.Reset();
    return true;
}
