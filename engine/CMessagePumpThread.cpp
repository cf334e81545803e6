#include "engine/CMessagePumpThread.h"

#include "engine/DownloadEvents.h"
#include "engine/EngineLists.h"
#include "engine/IEngineObserver.h"
#include "engine/TaskBatch.h"
#include "engine/ThreadMessages.h"
#include "platform/OwnedPost.h"

namespace {
// Adds a download's bytes to its entry in ResultList; the first count of a
// download becomes that entry.
void Count(std::unique_ptr<CTaskResult> result, int64_t bytes)
{
    bool finished = false;
    if (!ResultList().WithTaskId(result->taskId, [&](CTaskResult& entry) {
            entry.done += bytes;
            finished = entry.done == entry.totalSize;
        })) {
        finished = result->done == result->totalSize;
        ResultList().InsertHead(result.release());
    }
    if (finished) SetEvent(DownloadFinishedEvent());
}
}  // namespace

CMessagePumpThread::CMessagePumpThread() : queueReady_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CMessagePumpThread::~CMessagePumpThread() { Stop(); }

bool CMessagePumpThread::Start()
{
    errorNotified_.store(false);
    if (Created()) return true;
    ResetEvent(queueReady_.Get());
    if (!Launch()) return false;
    // A message posted before the queue exists is lost; the thread makes
    // its queue first thing, so this wait is short.
    HANDLE waits[2] = {queueReady_.Get(), StopEvent()};
    WaitForMultipleObjects(2, waits, FALSE, 10000);
    return true;
}

bool CMessagePumpThread::Stop(DWORD waitMs)
{
    DWORD id = GetThreadId();
    if (!IsStopping() && id != 0) PostThreadMessageW(id, WM_QUIT, 0, 0);
    return Join(waitMs);
}

void CMessagePumpThread::Routine()
{
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(queueReady_.Get());

    while (GetMessageW(&msg, nullptr, 0, 0) > 0) Handle(msg, true);

    // Whatever was posted behind WM_QUIT still owns heap records.
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) Handle(msg, false);
}

void CMessagePumpThread::Handle(const MSG& msg, bool mayNotify)
{
    switch (msg.message) {
    case TM_TASK_RESULT: {
        std::unique_ptr<CTaskResult> result = TakePosted<CTaskResult>(msg.wParam);
        if (result) Count(std::move(result), static_cast<int32_t>(msg.lParam));
        return;
    }
    case TM_QUEUE_TASK: {
        std::unique_ptr<TaskBatch> batch = TakePosted<TaskBatch>(msg.wParam);
        if (!batch) return;
        if (batch->counted) {
            const int64_t done = batch->counted->done.load();
            Count(std::move(batch->counted), done);
        }
        for (std::unique_ptr<CDownloadTask>& task : batch->tasks) TaskQueue().InsertHead(task.release());
        return;
    }
    case TM_TASK_FAILED:
        // Told once per pump thread. An observer that refuses (the user is
        // answering a box) is told again at the next failure.
        if (mayNotify && !errorNotified_.load() &&
            IEngineObserver::NotifyFailure(msg.wParam == FAILURE_DISK_FULL ? FAILURE_DISK_FULL : FAILURE_OTHER))
            errorNotified_.store(true);
        return;
    default: return;
    }
}
