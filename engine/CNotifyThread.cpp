#include "engine/CNotifyThread.h"

#include "engine/CDownloadRanges.h"
#include "engine/CTaskResult.h"
#include "engine/DownloadEvents.h"
#include "engine/EngineLists.h"
#include "engine/IEngineObserver.h"
#include "engine/ProgressRecord.h"

CNotifyThread::CNotifyThread() = default;

CNotifyThread::~CNotifyThread() { Stop(); }

bool CNotifyThread::Start() { return Launch(); }

bool CNotifyThread::Stop(DWORD waitMs) { return Join(waitMs); }

ProgressRecord* CNotifyThread::BuildProgress(const CTaskResult& result, DWORD nowTick)
{
    auto* record = new ProgressRecord();
    record->totalSize = result.totalSize;
    record->done = result.done.load();
    record->percent =
        result.totalSize > 0 ? static_cast<double>(record->done) / static_cast<double>(result.totalSize) * 100.0 : 0.0;
    DWORD elapsed = (nowTick - result.startTick) / 1000;
    record->elapsedSeconds = elapsed == 0 ? 1 : static_cast<int32_t>(elapsed);
    record->bytesPerSecond =
        static_cast<double>(record->done - result.baseBytes) / static_cast<double>(record->elapsedSeconds);
    record->taskId = result.taskId;
    return record;
}

bool CNotifyThread::PostProgress(const CTaskResult& result)
{
    ProgressRecord* record = BuildProgress(result, GetTickCount());
    int code = record->done < record->totalSize    ? EVENT_PROGRESS
               : record->done == record->totalSize ? EVENT_DOWNLOADED
                                                   : -1;
    if (code < 0 || !IEngineObserver::Notify(code, record)) {
        delete record;
        return false;
    }
    return true;
}

void CNotifyThread::Routine()
{
    ResultListList& results = ResultList();
    DWORD lastCheckpoint = GetTickCount();
    while (!IsStopping()) {
        // A copy: Restart may delete the entry as soon as the lock is left.
        int32_t taskId = 0;
        int64_t done = 0, totalSize = 0, baseBytes = 0;
        DWORD startTick = 0;
        bool have = results.WithTail([&](CTaskResult& r) {
            taskId = r.taskId;
            done = r.done.load();
            totalSize = r.totalSize;
            startTick = r.startTick;
            baseBytes = r.baseBytes;
        });
        if (!have) {
            HANDLE waits[2] = {StopEvent(), results.NotEmptyEvent()};
            WaitForMultipleObjects(2, waits, FALSE, INFINITE);
            lastCheckpoint = GetTickCount();
            continue;
        }
        CTaskResult snapshot(taskId, done, totalSize, startTick, baseBytes);
        // A completion that could not be told stays and is told again next
        // round; with nobody listening there is nobody to tell.
        const bool posted = PostProgress(snapshot);
        if (done == totalSize && (posted || !IEngineObserver::AnyListening())) results.Remove(taskId);
        if (GetTickCount() - lastCheckpoint >= kCheckpointMs) {
            lastCheckpoint = GetTickCount();
            CDownloadRanges::Instance()->Checkpoint();
        }
        HANDLE waits[2] = {StopEvent(), DownloadFinishedEvent()};
        WaitForMultipleObjects(2, waits, FALSE, kIntervalMs);
    }
}
