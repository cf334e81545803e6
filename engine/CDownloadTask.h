#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

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

    static constexpr DWORD kReadSize = 4096;

private:
    enum class Fetch { Done, Stopped, Failed, Again };
    // One request for position..requestLast, read chunk by chunk.
    Fetch FetchRequest(HttpRangeRequest& http, int64_t requestLast);
    void PostFailed() const;
    void CloseFile();
    // Posts the written bytes not yet counted; true when none are left owed.
    bool PostUncounted();

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
};
