#include "engine/CThreadsManager.h"

#include <algorithm>
#include <cstdio>

#include "engine/CBreakpointCfg.h"
#include "engine/CDownloadRanges.h"
#include "engine/CDownloadTask.h"
#include "engine/CDownloadThread.h"
#include "engine/CMessagePumpThread.h"
#include "engine/CNotifyThread.h"
#include "engine/CTaskResult.h"
#include "engine/EngineLists.h"
#include "platform/CLog.h"

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

namespace {
// Ends a thread within what is left of the stop's time, but gives it at least
// `floorMs`. One that does not end is logged and left running: it still uses
// its object, which is therefore never destroyed.
template <class Thread>
void StopOrLeave(std::unique_ptr<Thread>& thread, DWORD began, DWORD floorMs, const std::string& name)
{
    const DWORD spent = GetTickCount() - began;
    const DWORD waitMs =
        std::max(spent < CThreadsManager::kStopWaitMs ? CThreadsManager::kStopWaitMs - spent : 0, floorMs);
    if (!thread->Stop(waitMs)) {
        CLog::WriteShared("CThreadsManager::Stop", "%s did not end within %lu ms, left running", name.c_str(),
                          static_cast<unsigned long>(spent + waitMs));
        static_cast<void>(thread.release());
    }
    thread.reset();
}
}  // namespace

void CThreadsManager::Stop()
{
    caller_.Check();
    const DWORD began = GetTickCount();
    // All are told first, so a task waiting for a read or a connect does not
    // hold up the others' ends: each closes its own request.
    for (const auto& thread : downloadThreads_) thread->RequestStop();
    while (!downloadThreads_.empty()) {
        std::unique_ptr<IBaseThread> thread = std::move(downloadThreads_.front());
        downloadThreads_.erase(downloadThreads_.begin());
        const std::string name = thread->GetName();
        StopOrLeave(thread, began, 0, name);
    }
    if (pump_) {
        // Posts from here on fail and stay with their senders. The WM_QUIT
        // queues behind every count and task posted so far.
        pumpThreadId_.store(0);
        StopOrLeave(pump_, began, kHelperWaitMs, "the message-pump thread");
    }
    if (notify_) StopOrLeave(notify_, began, kHelperWaitMs, "the notification thread");
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
