#include "controller/CDownloader.h"

#include <cstdio>

#include "controller/PathUtil.h"
#include "controller/RetryWithPause.h"
#include "engine/CBreakpointCfg.h"
#include "engine/CThreadsManager.h"
#include "engine/StartDownload.h"
#include "net/HttpRequest.h"
#include "platform/GetFileSize64.h"
#include "platform/LaunchAsDesktopUser.h"
#include "platform/LogFailedCall.h"
#include "platform/ScopedLock.h"
#include "platform/TextConvert.h"

CDownloader* g_downloader = nullptr;

namespace {

constexpr char kBuiltInSiteId[] = "4501648";
constexpr DWORD kWorkerWaitMs = 1000;

}  // namespace

CDownloader::CDownloader() : CDownloader(DownloaderSettings::ForThisProgram()) {}

CDownloader::CDownloader(const DownloaderSettings& settings)
    : settings_(settings), logOpen_(OpenLog()),
      siteId_(SiteConfigClient::ReadSiteId(log_, settings_.programFolder, kBuiltInSiteId)),
      config_(log_, settings_.serverBase, settings_.minPackageVersion), reports_(log_, settings_.serverBase, siteId_),
      files_(log_, settings_.programFolder, siteId_),
      judge_(log_, files_, reports_, settings_.publisher, settings_.privateParent, settings_.minPackageVersion),
      tasks_([this](int32_t id) {
          if (!config_.Valid() && Get_Site_Config(id) != 0) return;
          RunTask(id);
      })
{
    history_.SetFolder(settings_.appDataFolder);
    history_.Load();
    // Setups started by earlier runs have ended or hold their copies open.
    PrivateCopy::DeleteLeftovers(settings_.privateParent);
    if (!tasks_.Start()) Log("CDownloader::CDownloader", "no worker thread: no task will run");
}

CDownloader::~CDownloader()
{
    // A worker still running would outlive the object it works on.
    Shutdown();
}

bool CDownloader::OpenLog()
{
    const std::string folder = MakeAppDataFolder(settings_.appDataFolder, "log");
    if (!log_.Open(folder + "\\" + TodayStamp() + ".log")) return false;
    CLog::SetShared(&log_);
    return true;
}

void CDownloader::Log(const char* name, const char* format, ...)
{
    if (!name || !format) return;
    va_list args;
    va_start(args, format);
    log_.Write(name, format, args);
    va_end(args);
}

void CDownloader::CloseLog()
{
    CLog::ReleaseShared(&log_);
    log_.Close();
}

void CDownloader::RegisterListener(IListener* listener)
{
    ScopedLock guard(listenerLock_);
    listener_ = listener;
    Log("CDownloader::RegisterListener", listener ? "register listener" : "release listener");
}

void CDownloader::DownQuorvex()
{
    RestartEngine();
    const int32_t id = tasks_.LatestId() + 1;
    // Logged before the task can be taken, as the id it will get.
    Log("CDownloader::DownQuorvex", "new task---%d\r\n", id);
    tasks_.Issue();
}

void CDownloader::StartEngine() { CThreadsManager::Instance()->Start(); }
void CDownloader::StopEngine() { CThreadsManager::Instance()->Stop(); }
void CDownloader::RestartEngine() { CThreadsManager::Instance()->Restart(); }

void CDownloader::Cancel()
{
    Log("CDownloader::Cancel", "user cancel---%d\r\n", tasks_.LatestId());
    tasks_.CancelLatest();
}

void CDownloader::Exit(int mode)
{
    StopEngine();
    Log("CDownloader::Exit", "user exit");
    if (mode == 2) reports_.Post_Error(ErrorType::UserAbort, FormatVersion(config_.Info().newest));
    Shutdown();
    Log("CDownloader::Exit", "good bye");
    CloseLog();
}

bool CDownloader::Install(int mode)
{
    // Held until the launch has returned, then let go.
    PrivateCopy package = TakePackage();
    if (mode == 2) {
        Log("CDownloader::Install", "user select model,no update,direct install");
        downVersion_ = judge_.ReadDownFileVersion(package.File());
        reports_.Post_Error(ErrorType::InstallOld, FormatVersion(downVersion_));
    }
    if (!package.Made()) {
        // Anything at that name now may be another program than the one checked.
        Log("CDownloader::Install", "no checked package is held: nothing launched");
        return false;
    }
    if (LaunchAsDesktopUser(package.File())) {
        package.Keep();  // the setup runs from it
        return true;
    }
    LOG_FAILED_CALL("LaunchAsDesktopUser");
    return false;
}

void CDownloader::KeepPackage(PrivateCopy package)
{
    ScopedLock guard(packageLock_);
    heldPackage_ = std::move(package);
}

PrivateCopy CDownloader::TakePackage()
{
    ScopedLock guard(packageLock_);
    return std::move(heldPackage_);
}

void CDownloader::Shutdown()
{
    tasks_.RequestStop();
    {
        ScopedLock guard(listenerLock_);
        listener_ = nullptr;
        Log("CDownloader::RegisterListener", "release listener");
    }
    // A trust check can wait for certificate retrieval for tens of seconds
    // (offline, a slow proxy): the window closes without it. A worker still
    // inside a system call is left to the process's end, and so is this
    // object, which it uses (WorkerEnded).
    if (workerEnded_) return;
    workerEnded_ = tasks_.Stop(workerLeft_ ? 0 : kWorkerWaitMs);
    if (!workerEnded_ && !workerLeft_) {
        Log("CDownloader::Shutdown", "worker still busy after %lu ms: left to the process's end", kWorkerWaitMs);
        workerLeft_ = true;
    }
}

void CDownloader::NotifyListener(int32_t code, int32_t taskId, FailureCause cause)
{
    void* param = code == EVENT_FAILED ? reinterpret_cast<void*>(static_cast<intptr_t>(cause)) : &idleProgress_;
    ScopedLock guard(listenerLock_);
    if (listener_ && tasks_.IsCurrent(taskId)) listener_->OnNotify(code, param);
}

void CDownloader::RunTask(int32_t taskId)
{
    Save_App_Ver();
    TakePackage();  // an earlier decision's package is let go
    if (!IsFilePresent(GetPackagePath())) {
        GetQuorvex(taskId);
        return;
    }
    PrivateCopy package;
    switch (judge_.BeNeedDown(config_.Info(), updateRequested_, &package)) {
    case Verdict::Download: GetQuorvex(taskId); break;
    case Verdict::OfferUpdate:
        KeepPackage(std::move(package));
        NotifyListener(EVENT_NEWER_VERSION, taskId);
        break;
    case Verdict::Ready:
        KeepPackage(std::move(package));
        NotifyListener(EVENT_READY, taskId);
        break;
    case Verdict::UpdateRequested:
        updateRequested_ = false;
        GetQuorvex(taskId);
        break;
    }
}

std::string CDownloader::GetPackagePath() const { return files_.PackagePath(); }

std::string CDownloader::GetTempPackagePath() const { return files_.TempPath(config_.Info().newest); }

int CDownloader::Get_Site_Config(int32_t taskId)
{
    const Attempt result = RetryWithPause(tasks_.AbortEvent(), [&] {
        const bool usable = config_.FetchOnce(siteId_, static_cast<uint32_t>(taskId));
        if (!tasks_.IsRunning(taskId)) return Attempt::Stopped;
        return usable ? Attempt::Succeeded : Attempt::Failed;
    });
    if (result == Attempt::Succeeded) return 0;
    if (result == Attempt::Stopped) return 1;
    Log("CDownloader::Get_Site_Config", "get site config retry over");
    // A reply refused for offering a package below the floor names it.
    reports_.Post_Error(ErrorType::SiteConfigFailed, config_.RefusedVersion());
    NotifyListener(EVENT_FAILED, taskId);
    return -1;
}

void CDownloader::Save_App_Ver()
{
    const LobbyVerInfo info = config_.Info();
    std::string version = FormatVersion(info.newest);
    Log("CDownloader::Save_App_Ver", "ver is %s", version.c_str());
    history_.Add(version, info.md5);
}

void CDownloader::DownFinished(int32_t taskId)
{
    TakePackage();  // the download replaces whatever was held
    const std::string temp = GetTempPackagePath();
    if (!files_.Rename(temp)) {
        // The bytes are all on disk under the temporary name: a retry or the
        // next run resumes from the record instead of fetching them again.
        Log("CDownloader::DownFinished", "rename failed, download kept");
        files_.KeepFinishedDownload(temp, config_.Info().url);
        NotifyListener(EVENT_FAILED, taskId);
        return;
    }
    CBreakpointCfg::Instance()->RemoveRecordFile();
    if (!temp.empty()) files_.Remove(temp + ".cfg");  // also when this process never started the engine on it
    // Checked and launched as one file: held before its version is read.
    HeldFile package = files_.HoldPackage("CDownloader::DownFinished");
    if (!package.Held()) {
        NotifyListener(EVENT_FAILED, taskId);
        return;
    }
    PrivateCopy copy;
    if (!judge_.Accept(config_.Info(), package, &copy, &downVersion_)) {
        NotifyListener(EVENT_FAILED, taskId);
        return;
    }
    useTime_ = (GetTickCount() - startTick_) / 1000;
    reports_.Post_Right(useTime_, GetFileSize64(Utf8ToWide(GetPackagePath())));
    KeepPackage(std::move(copy));
    NotifyListener(EVENT_READY, taskId);
}

void CDownloader::DiscardLocalPackage()
{
    TakePackage();
    files_.Remove(GetPackagePath());
    updateRequested_ = true;
}

// ---- Download start ----

struct CDownloader::ProgressContext {
    CDownloader* downloader;
    uint64_t totalSize;
    bool cancelled;
    // The engine took nothing (no pump thread, or its posts failed).
    bool notHandedOver;
    std::string tempPath;
    std::string url;
};

bool CDownloader::GetQuorvex(int32_t taskId)
{
    const std::wstring tempPath = Utf8ToWide(GetTempPackagePath());
    const Attempt result = RetryWithPause(tasks_.AbortEvent(), [&] {
        const int started = DownloadPackage(config_.Info().url, taskId, tempPath);
        if (started == 0) return Attempt::Succeeded;
        if (started == 1) {
            OutputDebugStringA("----getquorvex-user-cancel-1\r\n");
            return Attempt::Stopped;
        }
        if (!tasks_.IsRunning(taskId)) {
            OutputDebugStringA("----getquorvex-user-cancel-2\r\n");
            return Attempt::Stopped;
        }
        // Waiting does not free the disk: the user has to, and is told at once.
        if (started == kDiskFull) return Attempt::Hopeless;
        return Attempt::Failed;
    });
    if (result == Attempt::Succeeded) {
        // While the engine downloads: the checks after its last byte then
        // find their libraries ready.
        if (settings_.warmUpChecks) settings_.warmUpChecks();
        return true;
    }
    if (result == Attempt::Stopped) return false;
    const bool diskFull = result == Attempt::Hopeless;
    if (!diskFull) Log("CDownloader::GetQuorvex", "get quorvex retry over");
    reports_.PostOnce(ErrorType::DownloadFailed, FormatVersion(config_.Info().newest));
    if (tasks_.IsRunning(taskId)) {
        char text[64];
        std::snprintf(text, sizeof text, "threadid=%lu\r\n", GetCurrentThreadId());
        OutputDebugStringA(text);
        tasks_.Remove(taskId);
        NotifyListener(EVENT_FAILED, taskId, diskFull ? FAILURE_DISK_FULL : FAILURE_OTHER);
    }
    return false;
}

int CDownloader::DownloadPackage(const std::string& url, int32_t taskId, const std::wstring& tempPath)
{
    if (url.empty() || tempPath.empty()) return -1;
    uint64_t length = 0;
    {
        HttpClient client;
        if (!HttpQueryContentLength(&client, url.c_str(), &length)) length = 0;
    }
    // Offsets of ranges and resume records are 32-bit.
    if (length == 0 || length >= static_cast<uint64_t>(kMaxDownloadSize)) return -1;
    // A size that disagrees with the resume record would delete it with the
    // bytes it describes. A page that answers every request (a captive
    // portal's) has a size too, so only a ranged reply may confirm a change.
    const int64_t recorded = files_.RecordedSize(tempPath);
    if (recorded >= 0 && static_cast<uint64_t>(recorded) != length) {
        uint64_t confirmed = 0;
        HttpClient client;
        if (!HttpQueryRangedLength(&client, url.c_str(), &confirmed) || confirmed != length) {
            Log("CDownloader::GetQuorvex", "size %llu not confirmed, record of %lld kept",
                static_cast<unsigned long long>(length), static_cast<long long>(recorded));
            return -1;
        }
    }

    // Known short of space: said now, rather than after the first failed write.
    uint64_t needed = 0, available = 0;
    if (files_.LacksSpace(length, tempPath, needed, available)) return LogDiskFull(needed, available);

    ProgressContext context{this, length, false, false, GetTempPackagePath(), url};
    // A file that could not be prepared is the engine's to find missing;
    // the failure is logged. Space taken since the check ends the start.
    DWORD prepared = ERROR_SUCCESS;
    if (!files_.PrepareTempFile(length, tempPath, &prepared)) {
        if (FailureCauseOf(prepared) == FAILURE_DISK_FULL) {
            static_cast<void>(files_.LacksSpace(length, tempPath, needed, available));
            return LogDiskFull(needed, available);
        }
        Log("CDownloader::GetQuorvex", "temporary file not prepared");
    }
    startTick_ = GetTickCount();

    HttpClient client;
    client.params.replyMode = REPLY_CALLBACK;
    client.params.callback = &CDownloader::StartRangedDownload;
    client.params.userData = &context;
    bool sent = HttpRequest(&client.params, client.proxy.get(), false, static_cast<uint32_t>(taskId), url.c_str());
    if (context.cancelled) return 1;
    return sent && !context.notHandedOver ? 0 : -1;
}

int CDownloader::LogDiskFull(uint64_t needed, uint64_t available)
{
    Log("CDownloader::GetQuorvex", "disk full: %llu bytes needed, %llu free in %s",
        static_cast<unsigned long long>(needed), static_cast<unsigned long long>(available),
        settings_.programFolder.c_str());
    return kDiskFull;
}

bool CDownloader::StartRangedDownload(uint32_t taskId, char*, uint32_t, void* userData, uint32_t)
{
    auto* context = static_cast<ProgressContext*>(userData);
    if (!context || !context->downloader) return true;
    CDownloader* self = context->downloader;
    if (!self->tasks_.IsRunning(static_cast<int32_t>(taskId))) {
        context->cancelled = true;
        return false;
    }
    // A start the engine did not take would leave the job waiting for ever:
    // it counts as a failed attempt.
    if (!StartDownload(context->url.c_str(), context->tempPath, CThreadsManager::Instance(),
                       static_cast<int64_t>(context->totalSize), static_cast<int32_t>(taskId), self->startTick_))
        context->notHandedOver = true;
    return true;
}
