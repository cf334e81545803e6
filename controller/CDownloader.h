#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "controller/DownloadHistory.h"
#include "controller/DownloaderSettings.h"
#include "controller/IListener.h"
#include "controller/PackageFiles.h"
#include "controller/PackageJudge.h"
#include "controller/ReportSender.h"
#include "controller/SiteConfigClient.h"
#include "controller/TaskTable.h"
#include "engine/ProgressRecord.h"
#include "platform/CLock.h"
#include "platform/CLog.h"
#include "platform/PrivateCopy.h"
#include "platform/VersionQuad.h"

// Drives the installer's job: configuration, package decision, download start,
// acceptance, history, reports and launch. Work is numbered tasks; only the
// current task's outcomes reach the listener. The parts it delegates to are
// its members below.
class CDownloader {
public:
    CDownloader();
    explicit CDownloader(const DownloaderSettings& settings);
    virtual ~CDownloader();
    CDownloader(const CDownloader&) = delete;
    CDownloader& operator=(const CDownloader&) = delete;

    void RegisterListener(IListener* listener);

    // Main thread. DownQuorvex restarts the engine and issues a new current
    // task, which the worker thread runs; it returns at once.
    void DownQuorvex();
    // The engine is started and stopped through the controller only, the
    // window's failure prompt included. Main thread.
    void StartEngine();
    void StopEngine();
    void RestartEngine();
    void Cancel();
    // mode 1: plain exit; mode 2: the user broke the job off (reported).
    void Exit(int mode);
    // mode 1: the accepted package; mode 2: the package on disk after the user
    // declined the newer version (reported). Either is the private copy held
    // since its checks, and is released once the launch has returned. True
    // when the setup was started; a launch that failed, or no copy held, is
    // logged.
    bool Install(int mode);
    // Accepts or rejects the downloaded package of a task.
    void DownFinished(int32_t taskId);
    // The user wants the newer version instead of the package on disk.
    void DiscardLocalPackage();

    // Cancels the current task, ends the worker and releases the listener.
    // Waits a second at most for the worker (once); never call it on the
    // worker thread.
    void Shutdown();
    // False while a worker that Shutdown gave up on still runs: the object
    // must then be left to the process's end.
    bool WorkerEnded() const { return workerEnded_; }

    // One log line; dropped silently once the log is closed.
    void Log(const char* name, const char* format, ...) __attribute__((format(gnu_printf, 3, 4)));
    void CloseLog();

    std::string GetPackagePath() const;
    std::string GetTempPackagePath() const;
    const std::string& SiteId() const { return siteId_; }

private:
    bool OpenLog();
    // Worker thread: one task taken from the table.
    void RunTask(int32_t taskId);
    // EVENT_FAILED carries `cause`; the other events the idle record.
    void NotifyListener(int32_t code, int32_t taskId, FailureCause cause = FAILURE_OTHER);
    // 0 a usable reply is held, 1 the task was cancelled or is gone, -1 the
    // retries are used up (reported, EVENT_FAILED sent).
    int Get_Site_Config(int32_t taskId);
    void Save_App_Ver();
    // The checked package, from its checks to its launch.
    void KeepPackage(PrivateCopy package);
    PrivateCopy TakePackage();

    // Download start, worker thread.
    struct ProgressContext;
    bool GetQuorvex(int32_t taskId);
    // 0 handed to the engine, 1 cancelled, -1 failed, kDiskFull the program
    // folder's volume cannot take the package (logged).
    static constexpr int kDiskFull = -2;
    int LogDiskFull(uint64_t needed, uint64_t available);
    int DownloadPackage(const std::string& url, int32_t taskId, const std::wstring& tempPath);
    static bool StartRangedDownload(uint32_t taskId, char* data, uint32_t length, void* userData, uint32_t reserved);

    // Threads: the main thread (window calls, DownFinished) and the worker
    // (configuration, decision, download start) share this object. Fields
    // touched by both are atomic, fixed at construction, or parts that guard
    // themselves; the rest belong to the thread noted.
    const DownloaderSettings settings_;
    CLog log_;            // before every part that logs: made first, gone last
    const bool logOpen_;  // opened before anything is logged
    const std::string siteId_;
    IListener* listener_ = nullptr;  // listenerLock_
    CLock listenerLock_;
    ProgressRecord idleProgress_{};
    DownloadHistory history_;  // constructor, then the worker
    SiteConfigClient config_;
    ReportSender reports_;
    PackageFiles files_;
    PackageJudge judge_;
    VersionQuad downVersion_;  // main thread
    // The private copy of the final package, held open from the checks that
    // accepted it until its launch: by the worker (a package on disk) or the
    // main thread (a download), then taken by Install. Dropped whenever a new
    // decision or download begins.
    PrivateCopy heldPackage_;  // packageLock_
    CLock packageLock_;
    // Set by the worker at a download start, read by the main thread when
    // the download is accepted.
    std::atomic<uint32_t> startTick_{0};
    uint32_t useTime_ = 0;  // main thread (DownFinished)
    std::atomic<bool> updateRequested_{false};
    bool workerEnded_ = false;  // main thread (Shutdown)
    bool workerLeft_ = false;   // Shutdown gave up waiting once
    TaskTable tasks_;           // last: its worker uses everything above
};

// The process's controller, published by the entry point.
extern CDownloader* g_downloader;
