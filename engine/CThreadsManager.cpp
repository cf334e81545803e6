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

void CThreadsManager::Start()
{
    caller_.Check();
    const unsigned n = DownloadThreadsPerStart(processors_ != 0 ? processors_ : SystemProcessorCount());
    for (unsigned i = 0; i < n; ++i) {
        char name[32];
        snprintf(name, sizeof(name), "DownloadThread-%u", i);
        auto thread = std::make_unique<CDownloadThread>(name);
        if (thread->Start()) downloadThreads_.push_back(std::move(thread));
    }
    // A thread that could not be created is not kept: the next Start tries again.
    if (!notify_) {
        auto notify = std::make_unique<CNotifyThread>();
        if (notify->Start()) notify_ = std::move(notify);
    }
    if (!pump_) {
        auto pump = std::make_unique<CMessagePumpThread>();
        if (pump->Start()) {
            pump_ = std::move(pump);
            pumpThreadId_.store(pump_->GetThreadId());
        }
    }
}

void CThreadsManager::Stop()
{
    caller_.Check();
    // All are told first, so a task blocked in a read or a connect does not
    // hold up the others' ends.
    for (const auto& thread : downloadThreads_) thread->RequestStop();
    while (!downloadThreads_.empty()) {
        std::unique_ptr<IBaseThread> thread = std::move(downloadThreads_.front());
        downloadThreads_.erase(downloadThreads_.begin());
        thread->Stop();
    }
    if (pump_) {
        // Posts from here on fail and stay with their senders. The WM_QUIT
        // queues behind every count and task posted so far.
        pumpThreadId_.store(0);
        pump_->Stop();
        pump_.reset();
    }
    if (notify_) {
        notify_->Stop();
        notify_.reset();
    }
    // Running, abandoned and queued ranges alike are owed to the record.
    TaskQueue().Clear();
    CDownloadRanges::Instance()->Park();
}

void CThreadsManager::Restart()
{
    caller_.Check();
    TaskQueue().Clear();
    ResultList().Clear();
    CDownloadRanges::Instance()->Clear();
    // Ranges left by a stop become the record beside the target, so the next
    // start of that download resumes instead of fetching every byte again.
    CBreakpointCfg::Instance()->SaveAndClearSegments();
    Start();
}

DWORD CThreadsManager::PumpThreadId() const { return pumpThreadId_.load(); }

std::vector<std::string> CThreadsManager::DownloadThreadNames() const
{
    std::vector<std::string> names;
    for (const auto& thread : downloadThreads_) names.push_back(thread->GetName());
    return names;
}
