#pragma once
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/ThreadAffinity.h"

class IBaseThread;
class CNotifyThread;
class CMessagePumpThread;

// Owns the engine's threads: min(processors, 8) download threads per Start,
// one notification thread and one message-pump thread. Start, Stop and
// Restart are called from one thread (the main thread, checked); PumpThreadId from any.
class CThreadsManager {
public:
    static CThreadsManager* Instance();

    // processorCount 0 asks the system.
    explicit CThreadsManager(unsigned processorCount = 0);
    virtual ~CThreadsManager();
    CThreadsManager(const CThreadsManager&) = delete;
    CThreadsManager& operator=(const CThreadsManager&) = delete;

    // Adds a set of download threads; makes the notification and pump
    // threads if there are none.
    void Start();
    // Ends every thread and drops the queued tasks. Every range of the
    // download not finished, whether running, abandoned or queued, is left
    // with the resume record. The download threads cancel their pending
    // requests, so a slow server never holds a stop up; a thread that still
    // has not ended after kStopWaitMs is logged and left running.
    void Stop();
    // Empties the task queue and the results, writes the held resume
    // segments to the record file and lets them go, then Start.
    void Restart();

    // Thread id of the pump thread; 0 while there is none.
    DWORD PumpThreadId() const;
    CMessagePumpThread* PumpThread() const { return pump_.get(); }
    CNotifyThread* NotifyThread() const { return notify_.get(); }
    std::vector<std::string> DownloadThreadNames() const;

    static unsigned DownloadThreadsPerStart(unsigned processorCount);

    // How long a stop waits for the threads to end, all together; the pump
    // and notification threads, which never wait on a server, get at least
    // kHelperWaitMs each even when the download threads took all of it.
    static constexpr DWORD kStopWaitMs = 1000;
    static constexpr DWORD kHelperWaitMs = 250;
    static unsigned SystemProcessorCount();

private:
    unsigned processors_;
    std::vector<std::unique_ptr<IBaseThread>> downloadThreads_;
    std::unique_ptr<CNotifyThread> notify_;
    std::unique_ptr<CMessagePumpThread> pump_;
    std::atomic<DWORD> pumpThreadId_{0};
    ThreadAffinity caller_;
};
