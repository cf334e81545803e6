#include "engine/CDownloadThread.h"

#include "engine/CDownloadTask.h"
#include "engine/EngineLists.h"

CDownloadThread::CDownloadThread(const std::string& name) { SetName(name); }

CDownloadThread::~CDownloadThread() { Stop(); }

bool CDownloadThread::Start() { return Launch(); }

void CDownloadThread::Stop() { Join(); }

void CDownloadThread::Routine()
{
    TaskQueueList& queue = TaskQueue();
    while (!IsStopping()) {
        CDownloadTask* task = queue.TakeTail();
        if (task == nullptr) {
            HANDLE waits[2] = {StopEvent(), queue.NotEmptyEvent()};
            WaitForMultipleObjects(2, waits, FALSE, INFINITE);
            continue;
        }
        task->SetOwnerThread(this);
        bool finished = false;
        while (!IsStopping()) {
            DWORD began = GetTickCount();
            if (task->Run()) {
                finished = true;
                break;
            }
            DWORD spent = GetTickCount() - began;
            if (spent < kRetryPauseMs) WaitForSingleObject(StopEvent(), kRetryPauseMs - spent);
        }
        // Stopped between two runs: its range is still owed, keep it for resuming.
        if (!finished) task->PostRemainder();
        delete task;
    }
}
