#include "engine/CThreadsManager.h"

#include <cstdio>

#include "engine/CBreakpointCfg.h"
#include "engine/CDownloadRanges.h"
#include "engine/CDownloadTask.h"
#include "engine/CDownloadThread.h"
#include "engine/CMessagePumpThread.h"
#include "engine/CNotifyThread.h"
#include "engine/CTaskResult.h"
#include "engine/EngineLists.h"

CThreadsManager* CThreadsManager::Instance()
{
    static CThreadsManager manager;
    return &manager;
}

CThreadsManager::CThreadsManager(unsigned processorCount) : processors_(processorCount)
{
    // Made first so they are destroyed last: Stop in this destructor still
    // needs the lists and the resume record.
    TaskQueue();
    ResultList();
    CBreakpointCfg::Instance();
    CDownloadRanges::Instance();
}

CThreadsManager::~CThreadsManager() { Stop(); }

unsigned CThreadsManager::SystemProcessorCount()
{
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors == 0 ? 1 : info.dwNumberOfProcessors;
}

unsigned CThreadsManager::DownloadThreadsPerStart(unsigned processorCount)
{
    if (processorCount == 0) processorCount = 1;
    return processorCount >= 8 ? 8 : processorCount;
}

bool CThreadsManager::Start()
{
    caller_.Check();
    const unsigned n = DownloadThreadsPerStart(processors_ != 0 ? processors_ : SystemProcessorCount());
    for (unsigned i = 0; i < n; ++i) {
        char name[32];
        snprintf(name, sizeof(name), "DownloadThread-%u", i);
        auto thread = std::make_unique<CDownloadThread>(name);
        if (thread->Start()) downloadThreads_.push_back(std::move(thread));
    }
    if (!notify_) {
        notify_ = std::make_unique<CNotifyThread>();
        if (!notify_->Start()) notify_.reset();
    }
    if (!pump_) {
        pump_ = std::make_unique<CMessagePumpThread>();
        // Without a pump every later start fails, and says so.
        if (pump_->Start())
            pumpThreadId_.store(pump_->GetThreadId());
        else
            pump_.reset();
    }
    return true;
}

void CThreadsManager::Stop()
{
    caller_.Check();
    // All are told first, so a task blocked in a read or a connect does not
    // hold up the others' ends; each running task posts its remainder.
    for (const auto& thread : downloadThreads_) thread->RequestStop();
    while (!downloadThreads_.empty()) {
        std::unique_ptr<IBaseThread> thread = std::move(downloadThreads_.front());
        downloadThreads_.erase(downloadThreads_.begin());
        thread->Stop();
    }
    if (pump_) {
        // Posts from here on fail and stay with their senders. The WM_QUIT
        // queues behind every segment and task posted so far.
        pumpThreadId_.store(0);
        pump_->Stop();
        pump_.reset();
    }
    if (notify_) {
        notify_->Stop();
        notify_.reset();
    }
    RecordQueuedTasks();
}

void CThreadsManager::RecordQueuedTasks()
{
    // Ranges that never reached a thread are owed as much as running ones.
    while (CDownloadTask* task = TaskQueue().TakeTail()) {
        if (ResumeSegment* segment = task->MakeRemainderSegment()) CBreakpointCfg::Instance()->AddSegment(segment);
        delete task;
    }
}

bool CThreadsManager::Restart()
{
    caller_.Check();
    TaskQueue().Clear();
    ResultList().Clear();
    CDownloadRanges::Instance()->Clear();
    // Ranges left by a stop become the record beside the target, so the next
    // start of that download resumes instead of fetching every byte again.
    CBreakpointCfg::Instance()->SaveAndClearSegments();
    return Start();
}

DWORD CThreadsManager::PumpThreadId() const { return pumpThreadId_.load(); }

std::vector<std::string> CThreadsManager::DownloadThreadNames() const
{
    std::vector<std::string> names;
    for (const auto& thread : downloadThreads_) names.push_back(thread->GetName());
    return names;
}
