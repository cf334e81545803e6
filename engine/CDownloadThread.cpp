#include "engine/CDownloadThread.h"

#include "engine/CDownloadRanges.h"
#include "engine/CDownloadTask.h"
#include "engine/EngineLists.h"

CDownloadThread::CDownloadThread(const std::string& name) { SetName(name); }

CDownloadThread::~CDownloadThread() { Stop(); }

bool CDownloadThread::Start() { return Launch(); }

bool CDownloadThread::Stop(DWORD waitMs) { return Join(waitMs); }

void CDownloadThread::Routine()
{
    TaskQueueList& queue = TaskQueue();
    while (!IsStopping()) {
        CDownloadTask* task = queue.TakeTail();
        // Out of work: help the slowest connection by taking the upper part
        // of the range that would end last. A range too small for that never
        // grows, so then waiting for the queue misses nothing; but a range
        // another thread has just taken is split only once its first request
        // is out, and sleeping until the next download would leave this
        // connection unused for the whole of this one.
        bool soon = false;
        if (task == nullptr) task = CDownloadRanges::Instance()->SplitLongest(&soon);
        if (task == nullptr) {
            HANDLE waits[2] = {StopEvent(), queue.NotEmptyEvent()};
            WaitForMultipleObjects(2, waits, FALSE, soon ? kSplitRetryMs : INFINITE);
            continue;
        }
        task->SetOwnerThread(this);
        while (!IsStopping()) {
            DWORD began = GetTickCount();
            if (task->Run()) break;
            DWORD spent = GetTickCount() - began;
            if (spent < kRetryPauseMs) WaitForSingleObject(StopEvent(), kRetryPauseMs - spent);
        }
        // Stopped between two runs: the download's ranges still know what it owes.
        delete task;
    }
}
