#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "controller/CLog.h"
#include "controller/DownloadHistory.h"
#include "controller/DownloaderSettings.h"
#include "controller/IListener.h"
#include "controller/LobbyVerInfo.h"
#include "engine/ProgressRecord.h"
#include "platform/CLock.h"
#include "platform/UniqueHandle.h"
#include "platform/VersionQuad.h"

// Task states of the controller's task table.
enum TaskState : int32_t { TASK_NEW = 0, TASK_RUNNING = 1, TASK_CANCELLED = 2 };

// What may be done with a package already on disk.
enum Verdict : int32_t {
    VERDICT_DOWNLOAD = 1,
    VERDICT_OFFER_UPDATE = 2,
    VERDICT_READY = 3,
    VERDICT_UPDATE_REQUESTED = 4,
};

// Error types of the statistics error report.
enum ErrorType : int32_t {
    ERROR_DOWNLOAD_FAILED = 1,
    ERROR_SITE_CONFIG_FAILED = 2,
    ERROR_VERSION_UNREADABLE = 3,
    ERROR_TRUST_INVALID = 4,
    ERROR_VERSION_HIGHER = 5,
    ERROR_VERSION_MISMATCH = 6,
    ERROR_MD5_MISMATCH = 7,
    ERROR_USER_ABORT = 8,
    ERROR_INSTALL_OLD = 9,
    ERROR_VERSION_LOWER = 10,
};

// Drives the installer's job: configuration, package decision, download start,
// acceptance, history, reports and launch. Work is numbered tasks; only the
// current task's outcomes reach the listener.
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
    // declined the newer version (reported). True when the setup was started.
    bool Install(int mode);
    // Accepts or rejects the downloaded package of a task.
    void DownFinished(int32_t taskId);
    // The user wants the newer version instead of the package on disk.
    void DiscardLocalPackage();

    // Cancels the current task, ends the worker and releases the listener.
    // Never call it on the worker thread.
    void Shutdown();

    // One log line; dropped silently once the log is closed.
    void Log(const char* name, const char* format, ...) __attribute__((format(gnu_printf, 3, 4)));
    void CloseLog();

    std::string GetPackagePath() const;
    std::string GetTempPackagePath() const;
    const std::string& SiteId() const { return siteId_; }

private:
    friend class CDownloaderProbe;

    struct TaskEntry {
        int32_t id;
        int32_t state;
    };

    static DWORD WINAPI WorkerThreadProc(LPVOID param);
    void WorkerLoop();
    void RunTask(int32_t taskId);
    void NotifyListener(int32_t code, int32_t taskId);
    bool IsTaskRunning(int32_t taskId);
    void RemoveTask(int32_t taskId);
    void OpenLog();
    // Waits for abortEvent up to the retry pause; true when shutdown cut it short.
    bool WaitRetryPause();

    // Site identity and configuration reply.
    void GetSiteID();
    int Get_Site_Config(int32_t taskId);
    bool ParseLobbyVerInfo(std::string text);
    bool ValidateLobbyInfo(const LobbyVerInfo& info);
    // A copy of the held configuration reply, taken under stateLock_.
    LobbyVerInfo LobbyInfo() const;
    void Save_App_Ver();

    // Package decision and completion.
    void ReadDownFileVersion();
    int32_t BeNeedDown();
    // False only when the temporary package is still there after the move
    // failed (it was held open throughout).
    bool Rename();
    // Leaves a record beside a complete temporary package that could not be
    // renamed, so that the next start resumes with nothing to fetch.
    void KeepFinishedDownload();
    // Deletes a file of the program's folder unless it is a planted link,
    // which is logged and left alone.
    bool RemoveFile(const std::string& path);
    void LogLinkedFile(const std::string& path);

    // Download start.
    struct ProgressContext;
    bool GetQuorvex(int32_t taskId);
    // 0 handed to the engine, 1 cancelled, -1 failed.
    int DownloadPackage(const std::string& url, int32_t taskId, const std::wstring& tempPath);
    static bool StartRangedDownload(uint32_t taskId, char* data, uint32_t length, void* userData, uint32_t reserved);
    bool PrepareTempFile(uint64_t size, const std::wstring& tempPath);

    // Statistics reports.
    bool Post_Right();
    bool Post_Error(int32_t type, const std::string& version);
    // Sends a report of a type limited to one per process.
    bool PostOnce(int32_t type, const std::string& version);
    bool PostReport(const char* name, const std::string& url, const std::string& body);

    // Threads: the main thread (window calls, DownFinished) and the worker
    // (configuration, decision, download start) share this object. Fields
    // touched by both are atomic or guarded by a lock named beside them;
    // the rest belong to the thread noted.
    DownloaderSettings settings_;    // fixed at construction
    IListener* listener_ = nullptr;  // listenerLock_
    // Written by the worker when a reply is parsed, read by both: stateLock_,
    // and read through LobbyInfo().
    LobbyVerInfo lobbyInfo_;
    DownloadHistory history_;
    UniqueHandle abortEvent_;
    VersionQuad downVersion_;
    std::unique_ptr<CLog> log_;
    // Set by the worker at a download start, read by the main thread when
    // the download is accepted.
    std::atomic<uint32_t> startTick_{0};
    uint32_t useTime_ = 0;      // main thread (DownFinished)
    uint64_t packageSize_ = 0;  // main thread (DownFinished)
    CLock listenerLock_;
    ProgressRecord idleProgress_{};
    std::string siteId_ = "4501648";
    std::atomic<bool> lobbyInfoValid_{false};
    UniqueHandle workerThread_;
    UniqueHandle stopEvent_;
    DWORD workerThreadId_ = 0;
    std::atomic<int32_t> currentTaskId_{0};
    std::atomic<int32_t> taskCounter_{0};
    std::map<int32_t, TaskEntry> tasks_;
    CLock tasksLock_;
    std::atomic<int32_t> updateRequested_{0};

    // Reports limited to one per process; there is one controller per
    // process. Sent from both threads: stateLock_.
    bool reported_[ERROR_VERSION_LOWER + 1] = {};
    // Guards lobbyInfo_ and reported_; never held with another lock, nor
    // across a request, a wait or a file operation.
    mutable CLock stateLock_;
};

// The process's controller, published by the entry point.
extern CDownloader* g_downloader;
