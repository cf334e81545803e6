#include "controller/CDownloader.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "BuildConfig.h"
#include "controller/PathUtil.h"
#include "controller/SiteConfigText.h"
#include "engine/CBreakpointCfg.h"
#include "engine/CThreadsManager.h"
#include "engine/ResumeSegment.h"
#include "engine/StartDownload.h"
#include "net/HttpRequest.h"
#include "net/ServerEndpoints.h"
#include "platform/FileSigner.h"
#include "platform/GetFileSize64.h"
#include "platform/GetFileVersionQuad.h"
#include "platform/IsFileTrusted.h"
#include "platform/LaunchAsDesktopUser.h"
#include "platform/Md5OfFile.h"
#include "platform/ScopedLock.h"
#include "platform/TextConvert.h"
#include "platform/UnlinkedFile.h"

CDownloader* g_downloader = nullptr;

namespace {

constexpr DWORD kWorkerPollMs = 100;
constexpr DWORD kRetryPauseMs = 1000;
constexpr size_t kMaxSiteFileBytes = 1024 * 1024;
// A reply longer than any real configuration is a failed attempt.
constexpr size_t kMaxConfigReplyBytes = 1024 * 1024;
constexpr char kInstallerVersion[] = QUORVEX_VERSION_TEXT;
constexpr int kRenameAttempts = 20;
constexpr DWORD kRenamePauseMs = 100;

}  // namespace

CDownloader::CDownloader() : CDownloader(DownloaderSettings::ForThisProgram()) {}

CDownloader::CDownloader(const DownloaderSettings& settings) : settings_(settings)
{
    OpenLog();
    history_.SetFolder(settings_.appDataFolder);
    history_.Load();
    GetSiteID();
    abortEvent_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    stopEvent_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    workerThread_.Reset(CreateThread(nullptr, 0, &CDownloader::WorkerThreadProc, this, 0, &workerThreadId_));
}

CDownloader::~CDownloader()
{
    // A worker still running would outlive the object it works on.
    Shutdown();
}

void CDownloader::OpenLog()
{
    log_ = std::make_unique<CLog>();
    std::string folder = settings_.appDataFolder + "\\Quorvex";
    EnsureDirectory(folder);
    folder += "\\log\\";
    EnsureDirectory(folder);
    log_->Open(folder + TodayStamp() + ".log");
}

void CDownloader::Log(const char* name, const char* format, ...)
{
    if (!name || !format || !log_) return;
    va_list args;
    va_start(args, format);
    log_->Write(name, format, args);
    va_end(args);
}

void CDownloader::CloseLog() { log_.reset(); }

void CDownloader::RegisterListener(IListener* listener)
{
    ScopedLock guard(listenerLock_);
    listener_ = listener;
    Log("CDownloader::RegisterListener", listener ? "register listener" : "release listener");
}

void CDownloader::DownQuorvex()
{
    CThreadsManager::Instance()->Restart();
    int32_t id = ++taskCounter_;
    Log("CDownloader::DownQuorvex", "new task---%d\r\n", id);
    ScopedLock guard(tasksLock_);
    currentTaskId_ = id;
    tasks_.emplace(id, TaskEntry{id, TASK_NEW});
}

void CDownloader::StartEngine() { CThreadsManager::Instance()->Start(); }
void CDownloader::StopEngine() { CThreadsManager::Instance()->Stop(); }
void CDownloader::RestartEngine() { CThreadsManager::Instance()->Restart(); }

void CDownloader::Cancel()
{
    int32_t id = taskCounter_;
    Log("CDownloader::Cancel", "user cancel---%d\r\n", id);
    ScopedLock guard(tasksLock_);
    auto it = tasks_.find(id);
    if (it != tasks_.end()) it->second.state = TASK_CANCELLED;
}

void CDownloader::Exit(int mode)
{
    CThreadsManager::Instance()->Stop();
    Log("CDownloader::Exit", "user exit");
    if (mode == 2) Post_Error(ERROR_USER_ABORT, FormatVersion(LobbyInfo().newest));
    Shutdown();
    Log("CDownloader::Exit", "good bye");
    CloseLog();
}

bool CDownloader::Install(int mode)
{
    if (mode == 2) {
        Log("CDownloader::Install", "user select model,no update,direct install");
        ReadDownFileVersion();
        Post_Error(ERROR_INSTALL_OLD, FormatVersion(downVersion_));
    }
    return LaunchAsDesktopUser(Utf8ToWide(GetPackagePath()));
}

void CDownloader::Shutdown()
{
    {
        ScopedLock guard(tasksLock_);
        auto it = tasks_.find(currentTaskId_);
        if (it != tasks_.end()) it->second.state = TASK_CANCELLED;
    }
    if (stopEvent_) SetEvent(stopEvent_.Get());
    if (abortEvent_) SetEvent(abortEvent_.Get());
    {
        ScopedLock guard(listenerLock_);
        listener_ = nullptr;
        Log("CDownloader::RegisterListener", "release listener");
    }
    if (workerThread_ && GetCurrentThreadId() != workerThreadId_) WaitForSingleObject(workerThread_.Get(), INFINITE);
    ScopedLock guard(tasksLock_);
    tasks_.clear();
}

void CDownloader::NotifyListener(int32_t code, int32_t taskId)
{
    ScopedLock guard(listenerLock_);
    if (listener_ && taskId == currentTaskId_) listener_->OnNotify(code, &idleProgress_);
}

bool CDownloader::IsTaskRunning(int32_t taskId)
{
    ScopedLock guard(tasksLock_);
    auto it = tasks_.find(taskId);
    return it != tasks_.end() && it->second.state == TASK_RUNNING;
}

void CDownloader::RemoveTask(int32_t taskId)
{
    ScopedLock guard(tasksLock_);
    tasks_.erase(taskId);
}

DWORD WINAPI CDownloader::WorkerThreadProc(LPVOID param)
{
    static_cast<CDownloader*>(param)->WorkerLoop();
    return 0;
}

void CDownloader::WorkerLoop()
{
    while (WaitForSingleObject(stopEvent_.Get(), kWorkerPollMs) == WAIT_TIMEOUT) {
        int32_t id = -1;
        {
            // Looked up and marked in one step, so a Cancel in between is not
            // overwritten by the running state.
            ScopedLock guard(tasksLock_);
            auto it = tasks_.find(currentTaskId_);
            if (it == tasks_.end() || it->second.state != TASK_NEW) continue;
            it->second.state = TASK_RUNNING;
            id = it->first;
        }
        if (!lobbyInfoValid_ && Get_Site_Config(id) != 0) continue;
        RunTask(id);
    }
}

void CDownloader::RunTask(int32_t taskId)
{
    Save_App_Ver();
    if (IsFilePresent(GetPackagePath())) {
        switch (BeNeedDown()) {
        case VERDICT_DOWNLOAD: GetQuorvex(taskId); break;
        case VERDICT_OFFER_UPDATE: NotifyListener(EVENT_NEWER_VERSION, taskId); break;
        case VERDICT_READY: NotifyListener(EVENT_READY, taskId); break;
        case VERDICT_UPDATE_REQUESTED:
            updateRequested_ = 0;
            GetQuorvex(taskId);
            break;
        default: break;
        }
    } else {
        GetQuorvex(taskId);
    }
}

bool CDownloader::WaitRetryPause() { return WaitForSingleObject(abortEvent_.Get(), kRetryPauseMs) != WAIT_TIMEOUT; }

std::string CDownloader::GetPackagePath() const
{
    // Without a folder the name would be at the root of the drive: no file at all then.
    if (settings_.programFolder.empty()) return {};
    return settings_.programFolder + "\\TzGameSetup_" + siteId_ + ".exe";
}

std::string CDownloader::GetTempPackagePath() const
{
    if (settings_.programFolder.empty()) return {};
    return settings_.programFolder + "\\TzGameSetup" + FormatVersion(LobbyInfo().newest) + ".tmp";
}

LobbyVerInfo CDownloader::LobbyInfo() const
{
    ScopedLock guard(stateLock_);
    return lobbyInfo_;
}

// ---- Site identity and configuration reply ----

void CDownloader::GetSiteID()
{
    if (settings_.programFolder.empty()) return;
    std::string path = settings_.programFolder + "\\site.cfg";
    if (!IsFilePresent(path)) return;
    std::vector<char> text;
    if (!ReadWholeFile(path, kMaxSiteFileBytes, &text)) return;
    std::string id;
    if (!ParseSiteFileText(text.data(), &id)) return;  // a damaged site file counts as absent
    siteId_ = id;
    Log("CDownloader::GetSiteID", "site_id = %s", siteId_.c_str());
}

int CDownloader::Get_Site_Config(int32_t taskId)
{
    HttpClient client;
    const std::string url = ServerEndpoints::ConfigUrl(settings_.serverBase, siteId_);
    for (int attempt = 0;;) {
        std::string reply;
        client.params.replyMode = REPLY_STRING;
        client.params.replyTarget = &reply;
        client.params.replyLimit = kMaxConfigReplyBytes;
        bool usable = false;
        if (HttpRequest(&client.params, client.proxy.get(), false, static_cast<uint32_t>(taskId), url.c_str())) {
            std::string text = Utf8ToAnsi(reply);
            Log("CDownloader::Get_Site_Config", "config of site is : %s", text.c_str());
            usable = ParseLobbyVerInfo(std::move(text));
            if (!usable) Log("CDownloader::Get_Site_Config", "parse config of site fail!");
        } else {
            Log("CDownloader::Get_Site_Config", "get lobby info faile");
        }
        {
            ScopedLock guard(tasksLock_);
            auto it = tasks_.find(taskId);
            if (it == tasks_.end() || it->second.state != TASK_RUNNING) return 1;
        }
        if (usable) return 0;
        if (WaitRetryPause()) return 1;
        if (++attempt > 4) break;
    }
    Log("CDownloader::Get_Site_Config", "get site config retry over");
    Post_Error(ERROR_SITE_CONFIG_FAILED, std::string());
    NotifyListener(EVENT_FAILED, taskId);
    return -1;
}

bool CDownloader::ParseLobbyVerInfo(std::string text)
{
    // Filled in a copy: the main thread may read the held info meanwhile.
    LobbyVerInfo li = LobbyInfo();
    if (!ParseLobbyVerInfoText(std::move(text), &li)) return false;  // a failed attempt
    {
        ScopedLock guard(stateLock_);
        lobbyInfo_ = li;
    }
    return ValidateLobbyInfo(li);
}

bool CDownloader::ValidateLobbyInfo(const LobbyVerInfo& li)
{
    bool usable = IsLobbyInfoUsable(li);
    if (usable) lobbyInfoValid_ = true;
    return usable;
}

void CDownloader::Save_App_Ver()
{
    const LobbyVerInfo info = LobbyInfo();
    std::string version = FormatVersion(info.newest);
    Log("CDownloader::Save_App_Ver", "ver is %s", version.c_str());
    history_.Add(version, info.md5);
}

// ---- Statistics reports ----

bool CDownloader::Post_Right()
{
    std::string body = ServerEndpoints::SuccessReportBody(siteId_, useTime_, static_cast<int64_t>(packageSize_));
    return PostReport("CDownloader::Post_Right", ServerEndpoints::SuccessReportUrl(settings_.serverBase), body);
}

bool CDownloader::Post_Error(int32_t type, const std::string& version)
{
    std::time_t now = std::time(nullptr);
    std::tm local = *std::localtime(&now);
    local.tm_isdst = 0;
    int32_t submitDate = static_cast<int32_t>(std::mktime(&local));
    std::string body = ServerEndpoints::ErrorReportBody(siteId_, kInstallerVersion, version, type, submitDate);
    return PostReport("CDownloader::Post_Error", ServerEndpoints::ErrorReportUrl(settings_.serverBase), body);
}

bool CDownloader::PostOnce(int32_t type, const std::string& version)
{
    {
        // Tested and set in one step: the worker and the main thread both report.
        ScopedLock guard(stateLock_);
        if (reported_[type]) return false;
        reported_[type] = true;
    }
    return Post_Error(type, version);
}

bool CDownloader::PostReport(const char* name, const std::string& url, const std::string& body)
{
    HttpClient client;
    std::string reply;
    client.params.body = body;
    client.params.replyMode = REPLY_STRING;
    client.params.replyTarget = &reply;
    if (HttpRequest(&client.params, client.proxy.get(), true, 0, url.c_str())) {
        Log(name, "[url]:%s [post]:%s", url.c_str(), body.c_str());
        return true;
    }
    Log(name, "[url]:%s [post]:%s [ret-err]:[%s]", url.c_str(), body.c_str(), reply.c_str());
    return false;
}

// ---- Package decision and completion ----

namespace {

bool SameTextIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool FirstThreeEqual(const VersionQuad& a, const VersionQuad& b)
{
    return a.major == b.major && a.minor == b.minor && a.build == b.build;
}

bool FirstThreeZero(const VersionQuad& v) { return v.major == 0 && v.minor == 0 && v.build == 0; }

// A valid signature of anyone else is no better than none.
bool IsTrustedFrom(const std::string& path, const std::string& publisher)
{
    return IsFileTrusted(path) && IsSignedBy(path, publisher);
}

}  // namespace

void CDownloader::ReadDownFileVersion()
{
    VersionQuad& v = downVersion_;
    GetFileVersionQuad(GetPackagePath(), &v.major, &v.minor, &v.build, &v.revision);
    Log("CDownloader::ReadDownFileVersion", "downed file version is %d.%d.%d.%d", v.major, v.minor, v.build,
        v.revision);
}

int32_t CDownloader::BeNeedDown()
{
    const char* name = "CDownloader::BeNeedDown";
    const std::string path = GetPackagePath();
    const LobbyVerInfo info = LobbyInfo();
    const VersionQuad& newest = info.newest;
    VersionQuad local;
    GetFileVersionQuad(path, &local.major, &local.minor, &local.build, &local.revision);

    auto discard = [&](const char* why) {
        if (why) Log(name, "%s", why);
        RemoveFile(path);
        return VERDICT_DOWNLOAD;
    };
    if (local != newest && FirstThreeZero(local)) return discard("local file's version is wrong");
    if (!IsTrustedFrom(path, settings_.publisher)) return discard("local file's trust is invalid");
    std::string md5;
    Md5OfFile(path, &md5);
    if (local == newest && !SameTextIgnoringCase(md5, info.md5)) return discard("ver same but md5 not");
    if (VersionTextGreater(FormatVersion(local), FormatVersion(newest)))
        return discard("new ver smaller than local ver");

    switch (info.upStyle) {
    case 1: return local == newest ? VERDICT_READY : discard(nullptr);
    case 2:
        if (updateRequested_ == 1) return VERDICT_UPDATE_REQUESTED;
        return local == newest ? VERDICT_READY : VERDICT_OFFER_UPDATE;
    case 3: return FirstThreeEqual(local, newest) ? VERDICT_READY : discard(nullptr);
    default: return discard(nullptr);
    }
}

void CDownloader::DownFinished(int32_t taskId)
{
    const char* name = "CDownloader::DownFinished";
    const std::string path = GetPackagePath();
    auto reject = [&](const char* why, int32_t type, const std::string& version) {
        Log(name, "%s", why);
        PostOnce(type, version);
        RemoveFile(path);
        NotifyListener(EVENT_FAILED, taskId);
    };

    if (!Rename()) {
        // The bytes are all on disk under the temporary name: a retry or the
        // next run resumes from the record instead of fetching them again.
        Log(name, "rename failed, download kept");
        KeepFinishedDownload();
        NotifyListener(EVENT_FAILED, taskId);
        return;
    }
    CBreakpointCfg::Instance()->RemoveRecordFile();
    const std::string temp = GetTempPackagePath();
    if (!temp.empty()) RemoveFile(temp + ".cfg");  // also when this process never started the engine on it
    // A version left from an earlier file must not stand in for this one's.
    downVersion_ = VersionQuad();
    ReadDownFileVersion();
    const LobbyVerInfo info = LobbyInfo();
    const VersionQuad& newest = info.newest;
    const std::string newestText = FormatVersion(newest);
    const std::string downText = FormatVersion(downVersion_);

    if (FirstThreeZero(downVersion_))
        return reject("get local file's version faile", ERROR_VERSION_UNREADABLE, newestText);
    if (!IsTrustedFrom(path, settings_.publisher))
        return reject("local file's trust is invalid", ERROR_TRUST_INVALID, downText);
    if (VersionTextGreater(downText, newestText))
        return reject("local ver bigger than newest", ERROR_VERSION_HIGHER, downText);
    if (VersionTextGreater(newestText, downText)) {
        Log(name, "local ver smaller than newest");
        PostOnce(ERROR_VERSION_LOWER, downText);
    }
    std::string md5;
    Md5OfFile(path, &md5);
    if (downVersion_ != newest) {
        // An operator's cache may serve another build; it is accepted as it is.
        Log(name, "Operator cache");
        PostOnce(ERROR_VERSION_MISMATCH, downText);
    } else if (!SameTextIgnoringCase(md5, info.md5)) {
        return reject("local file's md5 not equal remote's", ERROR_MD5_MISMATCH, downText);
    }

    packageSize_ = GetFileSize64(Utf8ToWide(path));
    useTime_ = (GetTickCount() - startTick_) / 1000;
    Post_Right();
    NotifyListener(EVENT_READY, taskId);
}

bool CDownloader::Rename()
{
    const std::string temp = GetTempPackagePath();
    const std::string final = GetPackagePath();
    const std::wstring wideTemp = Utf8ToWide(temp);
    bool linked = false;
    OpenUnlinkedFile(wideTemp, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, 0, &linked);
    if (linked) {
        // Moved, it would make the package another file's name; the checks
        // judge what is there, and nothing of ours is kept under that name.
        LogLinkedFile(temp);
        return true;
    }
    if (IsFilePresent(temp) && IsFilePresent(final)) {
        Log("CDownloader::Rename", "file exists: %s", Utf8ToAnsi(temp).c_str());
        RemoveFile(final);
    }
    const std::wstring wideFinal = Utf8ToWide(final);
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(wideTemp.c_str(), wideFinal.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        // A handle of the engine or of a scanner may still be on the file for a moment.
        const DWORD error = GetLastError();
        const bool held =
            error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
        if (!held || attempt >= kRenameAttempts) break;
        Sleep(kRenamePauseMs);
    }
    // Failed: with no temporary file nothing was lost; otherwise it stays.
    return GetFileAttributesW(wideTemp.c_str()) == INVALID_FILE_ATTRIBUTES;
}

void CDownloader::KeepFinishedDownload()
{
    const std::string temp = GetTempPackagePath();
    const int64_t size = static_cast<int64_t>(GetFileSize64(Utf8ToWide(temp)));
    if (size <= 0 || size >= kMaxDownloadSize) return;
    // One range with nothing owed: resuming it asks for no byte.
    ResumeSegment* done =
        ResumeSegment::Make(static_cast<uint32_t>(size), static_cast<uint32_t>(size - 1), LobbyInfo().url, temp);
    if (!done) return;
    CBreakpointCfg* record = CBreakpointCfg::Instance();
    record->SetTarget(temp, size);
    record->ClearSegments();
    record->AddSegment(done);
    // Written now, and again at exit unless a new start takes it first.
    record->Save();
}

bool CDownloader::RemoveFile(const std::string& path)
{
    bool linked = false;
    if (DeleteUnlinkedFile(Utf8ToWide(path), &linked)) return true;
    if (linked) LogLinkedFile(path);
    return false;
}

void CDownloader::LogLinkedFile(const std::string& path)
{
    Log("CDownloader::LinkedFile", "a link, left alone: %s", path.c_str());
}

void CDownloader::DiscardLocalPackage()
{
    RemoveFile(GetPackagePath());
    updateRequested_ = 1;
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
    for (int attempt = 0;;) {
        int result = DownloadPackage(LobbyInfo().url, taskId, tempPath);
        if (result == 0) return true;
        if (result == 1) {
            OutputDebugStringA("----getquorvex-user-cancel-1\r\n");
            return false;
        }
        if (!IsTaskRunning(taskId)) {
            OutputDebugStringA("----getquorvex-user-cancel-2\r\n");
            return false;
        }
        if (WaitRetryPause()) return false;
        if (++attempt > 4) break;
    }
    Log("CDownloader::GetQuorvex", "get quorvex retry over");
    PostOnce(ERROR_DOWNLOAD_FAILED, FormatVersion(LobbyInfo().newest));
    if (IsTaskRunning(taskId)) {
        char text[64];
        std::snprintf(text, sizeof text, "threadid=%lu\r\n", GetCurrentThreadId());
        OutputDebugStringA(text);
        RemoveTask(taskId);
        NotifyListener(EVENT_FAILED, taskId);
    }
    return false;
}

int CDownloader::DownloadPackage(const std::string& url, int32_t taskId, const std::wstring& tempPath)
{
    if (url.empty() || tempPath.empty()) return -1;
    uint64_t length = 0;
    {
        HttpClient client;
        HttpQueryContentLength(&client, url.c_str(), &length);
    }
    // Offsets of ranges and resume records are 32-bit.
    if (length == 0 || length >= static_cast<uint64_t>(kMaxDownloadSize)) return -1;

    ProgressContext context{this, length, false, false, GetTempPackagePath(), url};
    PrepareTempFile(length, tempPath);
    startTick_ = GetTickCount();

    HttpClient client;
    client.params.replyMode = REPLY_CALLBACK;
    client.params.callback = &CDownloader::StartRangedDownload;
    client.params.userData = &context;
    bool sent = HttpRequest(&client.params, client.proxy.get(), false, static_cast<uint32_t>(taskId), url.c_str());
    if (context.cancelled) return 1;
    return sent && !context.notHandedOver ? 0 : -1;
}

bool CDownloader::StartRangedDownload(uint32_t taskId, char*, uint32_t, void* userData, uint32_t)
{
    auto* context = static_cast<ProgressContext*>(userData);
    if (!context || !context->downloader) return true;
    CDownloader* self = context->downloader;
    if (!self->IsTaskRunning(static_cast<int32_t>(taskId))) {
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

bool CDownloader::PrepareTempFile(uint64_t size, const std::wstring& tempPath)
{
    // Opened rather than created: a planted link is refused before anything is truncated.
    bool linked = false;
    UniqueHandle file = OpenUnlinkedFile(tempPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_ARCHIVE, &linked);
    if (linked) LogLinkedFile(WideToUtf8(tempPath));
    if (!file) return false;
    LARGE_INTEGER current = {};
    const std::wstring record = tempPath + L".cfg";
    if (GetFileAttributesW(record.c_str()) != INVALID_FILE_ATTRIBUTES) {
        // The engine resumes into the partly written file, but only a file
        // of the download's size can take its ranges.
        if (GetFileSizeEx(file.Get(), &current) && static_cast<uint64_t>(current.QuadPart) == size) return true;
        if (!RemoveFile(WideToUtf8(record)) && PathExists(WideToUtf8(record))) return false;
    }
    LARGE_INTEGER start = {}, end = {};
    end.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN) && SetEndOfFile(file.Get()) &&
           SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.Get());
}
