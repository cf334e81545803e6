#include "controller/TaskTable.h"

#include "platform/LogFailedCall.h"
#include "platform/ScopedLock.h"

TaskTable::TaskTable(std::function<void(int32_t)> run) : run_(std::move(run))
{
    abortEvent_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    stopEvent_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    issuedEvent_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!abortEvent_ || !stopEvent_ || !issuedEvent_) LOG_FAILED_CALL("CreateEventW");
}

TaskTable::~TaskTable()
{
    // A worker still running would outlive the table it works on.
    Stop();
}

bool TaskTable::Start()
{
    workerThread_.Reset(CreateThread(nullptr, 0, &TaskTable::WorkerThreadProc, this, 0, &workerThreadId_));
    if (workerThread_) return true;
    LOG_FAILED_CALL("CreateThread");
    return false;
}

void TaskTable::RequestStop()
{
    {
        ScopedLock guard(lock_);
        auto it = tasks_.find(current_);
        if (it != tasks_.end()) it->second = TaskState::Cancelled;
    }
    if (stopEvent_) SetEvent(stopEvent_.Get());
    if (abortEvent_) SetEvent(abortEvent_.Get());
}

bool TaskTable::Stop(DWORD waitMs)
{
    RequestStop();
    bool ended = true;
    if (workerThread_ && GetCurrentThreadId() != workerThreadId_)
        ended = WaitForSingleObject(workerThread_.Get(), waitMs) == WAIT_OBJECT_0;
    ScopedLock guard(lock_);
    tasks_.clear();
    return ended;
}

int32_t TaskTable::Issue()
{
    const int32_t id = ++counter_;
    {
        ScopedLock guard(lock_);
        current_ = id;
        tasks_.emplace(id, TaskState::New);
    }
    if (issuedEvent_) SetEvent(issuedEvent_.Get());
    return id;
}

void TaskTable::CancelLatest()
{
    ScopedLock guard(lock_);
    auto it = tasks_.find(counter_);
    if (it != tasks_.end()) it->second = TaskState::Cancelled;
}

bool TaskTable::IsRunning(int32_t id)
{
    TaskState state;
    return StateOf(id, &state) && state == TaskState::Running;
}

void TaskTable::Remove(int32_t id)
{
    ScopedLock guard(lock_);
    tasks_.erase(id);
}

bool TaskTable::StateOf(int32_t id, TaskState* state)
{
    ScopedLock guard(lock_);
    auto it = tasks_.find(id);
    if (it == tasks_.end()) return false;
    *state = it->second;
    return true;
}

size_t TaskTable::Count()
{
    ScopedLock guard(lock_);
    return tasks_.size();
}

DWORD WINAPI TaskTable::WorkerThreadProc(LPVOID param)
{
    static_cast<TaskTable*>(param)->WorkerLoop();
    return 0;
}

void TaskTable::WorkerLoop()
{
    // Woken by each new task, so the job's first request goes out at once;
    // without the event (it could not be made) it looks every 100 ms.
    HANDLE waits[2] = {stopEvent_.Get(), issuedEvent_.Get()};
    const DWORD count = issuedEvent_ ? 2 : 1;
    const DWORD timeout = issuedEvent_ ? INFINITE : 100;
    for (;;) {
        const DWORD woke = WaitForMultipleObjects(count, waits, FALSE, timeout);
        if (woke != WAIT_OBJECT_0 + 1 && woke != WAIT_TIMEOUT) return;
        int32_t id = -1;
        {
            // Looked up and marked in one step, so a cancel in between is not
            // overwritten by the running state.
            ScopedLock guard(lock_);
            auto it = tasks_.find(current_);
            if (it == tasks_.end() || it->second != TaskState::New) continue;
            it->second = TaskState::Running;
            id = it->first;
        }
        run_(id);
    }
}
