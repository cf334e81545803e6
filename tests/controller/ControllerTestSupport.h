#pragma once
#include <windows.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "controller/CDownloader.h"
#include "platform/ScopedLock.h"
#include "platform/TextConvert.h"
#include "support/LocalServer.h"
#include "support/TestFiles.h"
#include "support/Wait.h"

size_t CountOf(const std::string& text, const std::string& needle);

// Temporary program and application-data folders for one controller.
struct ControllerFolders {
    TempDir root;
    std::string program;
    std::string appData;
    ControllerFolders();
    DownloaderSettings Settings(const std::string& serverBase) const;
    // A site file naming a fresh server key as the site id; returns the key.
    std::string UseNewKey() const;
    std::string LogText() const;  // the day's log file, read whole
};

std::vector<RecordedRequest> RequestsTo(const std::string& key, const std::string& pathPrefix);
std::string ConfigReply(const std::string& version, const std::string& url, const std::string& md5, int upStyle);
LobbyVerInfo MakeLobbyInfo(const std::string& version, const std::string& md5, int upStyle,
                           const std::string& url = "http://unused/");
std::string Md5Of(const std::string& path);
// The Windows path of a file that the servers serve.
std::string WwwPath(const std::string& relPath);
// `inner` inside elements nested far deeper than any parser's stack allows.
std::string DeeplyNested(const std::string& inner);

// Nothing listens here: every request fails at once.
inline constexpr char kNoServer[] = "http://127.0.0.1:1";

class RecordingListener : public IListener {
public:
    void OnNotify(int32_t code, void* param) override
    {
        std::lock_guard<std::mutex> guard(mutex_);
        events_.emplace_back(code, param);
    }
    std::vector<std::pair<int32_t, void*>> Events()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        return events_;
    }
    size_t Count(int32_t code)
    {
        auto events = Events();
        return static_cast<size_t>(
            std::count_if(events.begin(), events.end(), [code](auto& e) { return e.first == code; }));
    }

private:
    std::mutex mutex_;
    std::vector<std::pair<int32_t, void*>> events_;
};

// Reaches the controller's internals that the task flow is built from.
class CDownloaderProbe {
public:
    explicit CDownloaderProbe(CDownloader& d) : d_(d) {}

    int32_t TaskState(int32_t id)
    {
        ScopedLock guard(d_.tasksLock_);
        auto it = d_.tasks_.find(id);
        return it == d_.tasks_.end() ? -1 : it->second.state;
    }
    size_t TaskCount()
    {
        ScopedLock guard(d_.tasksLock_);
        return d_.tasks_.size();
    }
    // Holding the task lock keeps the worker from taking a task.
    CLock& TasksLock() { return d_.tasksLock_; }
    void Notify(int32_t code, int32_t taskId) { d_.NotifyListener(code, taskId); }
    HANDLE WorkerThread() { return d_.workerThread_.Get(); }
    void* IdleProgress() { return &d_.idleProgress_; }
    bool LobbyInfoValid() { return d_.lobbyInfoValid_; }
    LobbyVerInfo& LobbyInfo() { return d_.lobbyInfo_; }
    void SetLobbyInfo(const LobbyVerInfo& info)
    {
        d_.lobbyInfo_ = info;
        d_.lobbyInfoValid_ = true;
    }
    void SetPackageSize(uint64_t size) { d_.packageSize_ = size; }
    bool Parse(const std::string& reply) { return d_.ParseLobbyVerInfo(reply); }
    bool PostRight() { return d_.Post_Right(); }
    bool PostOnce(int32_t type, const std::string& version) { return d_.PostOnce(type, version); }
    int32_t BeNeedDown() { return d_.BeNeedDown(); }
    void SetUpdateRequested(int32_t value) { d_.updateRequested_ = value; }
    // A task as the worker leaves it once it has taken it, made current.
    void AddRunningTask(int32_t id)
    {
        ScopedLock guard(d_.tasksLock_);
        d_.currentTaskId_ = id;
        d_.tasks_[id] = {id, TASK_RUNNING};
    }
    bool GetQuorvex(int32_t id) { return d_.GetQuorvex(id); }
    bool PrepareTempFile(uint64_t size, const std::string& path) { return d_.PrepareTempFile(size, Utf8ToWide(path)); }

private:
    CDownloader& d_;
};
