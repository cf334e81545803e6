#pragma once
#include <windows.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "controller/CDownloader.h"
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
    std::string privateParent;  // where the checked copies are made
    ControllerFolders();
    DownloaderSettings Settings(const std::string& serverBase) const;
    // A site file naming a fresh server key as the site id; returns the key.
    std::string UseNewKey() const;
    std::string LogText() const;  // the day's log file, read whole
    // Waits for the proof that a setup ran from a private copy; false when
    // none did, or one ran from the program folder instead.
    bool WaitForLaunchedCopy(DWORD timeoutMs = 30000) const;
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
