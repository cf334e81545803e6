#include "engine/CMessagePumpThread.h"

#include "engine/CBreakpointCfg.h"
#include "engine/CDownloadTask.h"
#include "engine/CTaskResult.h"
#include "engine/DownloadEvents.h"
#include "engine/EngineLists.h"
#include "engine/IEngineObserver.h"
#include "engine/ResumeSegment.h"
#include "engine/ThreadMessages.h"

CMessagePumpThread::CMessagePumpThread() : queueReady_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CMessagePumpThread::~CMessagePumpThread() { Stop(); }

bool CMessagePumpThread::Start()
{
    errorNotified_.store(false);
    if (Created()) return true;
    ResetEvent(queueReady_.Get());
    if (!Launch()) return false;
    if (!IsStopping()) {
        // A message posted before the queue exists is lost; the thread makes
        // its queue first thing, so this wait is short.
        HANDLE waits[2] = {queueReady_.Get(), StopEvent()};
        WaitForMultipleObjects(2, waits, FALSE, 10000);
    }
    return true;
}

void CMessagePumpThread::Stop()
{
    DWORD id = GetThreadId();
    if (!IsStopping() && id != 0) PostThreadMessageW(id, WM_QUIT, 0, 0);
    Join();
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
        auto* result = reinterpret_cast<CTaskResult*>(msg.wParam);
        if (result == nullptr) return;
        const int64_t bytes = static_cast<int32_t>(msg.lParam);
        bool added = ResultList().WithTaskId(result->taskId, [&](CTaskResult& entry) { entry.done += bytes; });
        if (added)
            delete result;
        else
            ResultList().InsertHead(result);
        return;
    }
    case TM_QUEUE_TASK: {
        auto* task = reinterpret_cast<CDownloadTask*>(msg.wParam);
        if (task != nullptr) TaskQueue().InsertHead(task);
        return;
    }
    case TM_SAVE_SEGMENT: {
        auto* segment = reinterpret_cast<ResumeSegment*>(msg.wParam);
        if (segment != nullptr) CBreakpointCfg::Instance()->AddSegment(segment);
        return;
    }
    case TM_TASK_FAILED:
        // Told once per pump thread. An observer that refuses (the user is
        // answering a box) is told again at the next failure.
        if (mayNotify && !errorNotified_.load() && IEngineObserver::Notify(EVENT_FAILED, nullptr))
            errorNotified_.store(true);
        return;
    default: return;
    }
}
