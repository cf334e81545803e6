#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/DownloadEvents.h"
#include "engine/ITask.h"
#include "net/HttpProxyInfo.h"
#include "platform/UniqueHandle.h"

class HttpRangeRequest;
class IBaseThread;

// Fetches one byte range of a file over HTTP and writes it in place, chunk by
// chunk. Each Run continues from `position`; a stop noticed after a chunk
// ends the run, and the download's ranges (CDownloadRanges) keep what is owed.
class CDownloadTask : public ITask {
public:
    // Range first..last inclusive; proxy is not owned and may be null.
    CDownloadTask(const std::string& url, const std::string& path, const HttpProxyInfo* proxy, int64_t first,
                  int64_t last, int64_t totalSize, int32_t taskId, DWORD startTick, int64_t baseBytes);
    ~CDownloadTask() override;

    bool Run() override;

    void SetOwnerThread(IBaseThread* thread) { ownerThread_ = thread; }
    // The task's entry in the download's shared ranges (0: none). Its end is
    // then read from there, since an idle thread may take the upper part.
    void SetRangeId(uint64_t id) { rangeId_ = id; }

    // After each chunk: whether the owning thread is stopping.
    bool CheckStop() const;

    // Reads grow to kReadSize while they return quickly and shrink to
    // kMinReadSize when they wait long: few calls on a fast line, a chunk
    // (progress, a noticed stop) every tenth of a second or so on a slow one.
    static constexpr DWORD kMinReadSize = 4096;
    static constexpr DWORD kReadSize = 64 * 1024;
    // About how long a request should take: long enough that the wait before
    // each reply costs little, short enough that an idle connection soon
    // finds a slow one's range open to a split.
    static constexpr DWORD kRequestMs = 1000;
    // A reply whose validator is new is believed once this many bytes it
    // serves match the file's (the first on disk: a rebuilt package differs
    // early, in its header). Asked of at most kProbeTries replies in a row.
    static constexpr int64_t kProbeBytes = 16 * 1024;
    static constexpr int kProbeTries = 3;
    // Runs that meet a new validator before any byte is on disk (a pause
    // each) until the download is dropped as replaced.
    static constexpr int kMaxUnprovenWaits = 40;

private:
    enum class Fetch { Done, Stopped, Failed, Again };
    // One request for position..requestLast, read chunk by chunk.
    Fetch FetchRequest(HttpRangeRequest& http, int64_t requestLast);
    // After a reply with a validator not known to serve this download's
    // bytes: compares bytes now served with those on disk. Done when the
    // validator is now known, Failed (the download discarded) when they differ.
    Fetch ProveValidator(HttpRangeRequest& http);
    void PostFailed(FailureCause cause) const;
    void CloseFile();
    // Posts the written bytes not yet counted; true when none are left owed.
    bool PostUncounted();
    // How long a request should take, in milliseconds.
    int64_t RequestMs() const;

    std::string url_;
    std::string path_;
    const HttpProxyInfo* proxy_;
    int64_t position_;
    int64_t rangeEnd_;
    int64_t totalSize_;
    DWORD startTick_;
    IBaseThread* ownerThread_ = nullptr;
    int64_t baseBytes_;
    uint64_t rangeId_ = 0;
    UniqueHandle file_;  // the target, while Run is working
    // Written bytes whose count could not be posted yet; they go with the next post.
    uint32_t uncounted_ = 0;
    DWORD readSize_ = kMinReadSize;
    int64_t bytesPerSecond_ = 0;  // of the last whole request
    DWORD replyWaitMs_ = 0;       // from sending the last request to its reply
    int unprovenWaits_ = 0;
    // Why the last chunk could not be written; the user can free a full disk.
    FailureCause writeFailure_ = FAILURE_OTHER;
};
