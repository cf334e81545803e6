#include "engine/StartDownload.h"

#include <cstring>

#include "engine/CBreakpointCfg.h"
#include "engine/CDownloadRanges.h"
#include "engine/CDownloadTask.h"
#include "engine/CTaskResult.h"
#include "engine/CThreadsManager.h"
#include "engine/ResumeData.h"
#include "engine/ThreadMessages.h"
#include "platform/TextConvert.h"

namespace {
constexpr int64_t kBlock = 4096;

bool QueueTask(DWORD pump, const std::string& url, const std::string& path, int64_t first, int64_t last,
               int64_t totalSize, int32_t taskId, DWORD startTick, int64_t baseBytes)
{
    auto* task = new CDownloadTask(url, path, nullptr, first, last, totalSize, taskId, startTick, baseBytes);
    task->CreateGuid();
    task->SetNotifyThreadId(pump);
    const uint64_t id = CDownloadRanges::Instance()->Add(first, last);
    task->SetRangeId(id);
    if (PostThreadMessageW(pump, TM_QUEUE_TASK, reinterpret_cast<WPARAM>(task), 0)) return true;
    CDownloadRanges::Instance()->Finish(id);
    delete task;
    return false;
}

int64_t FileLength(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    const std::wstring wide = Utf8ToWide(path);
    if (wide.empty() || !GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string SegmentText(const char (&field)[256]) { return std::string(field, strnlen(field, sizeof(field))); }
}  // namespace

std::vector<ByteRange> SplitRanges(int64_t totalSize, unsigned n)
{
    std::vector<ByteRange> ranges;
    if (totalSize <= 0) return ranges;
    if (n == 0) n = 1;
    const int64_t blocks = (totalSize + kBlock - 1) / kBlock;
    if (totalSize <= kBlock) {
        ranges.push_back({0, totalSize - 1});
    } else if (static_cast<int64_t>(n) < blocks) {
        const int64_t per = blocks / n * kBlock;
        for (unsigned i = 0; i + 1 < n; ++i) ranges.push_back({i * per, i * per + per - 1});
        ranges.push_back({(n - 1) * per, totalSize - 1});
    } else {
        for (int64_t k = 0; k < blocks; ++k)
            ranges.push_back({k * kBlock, k + 1 < blocks ? k * kBlock + kBlock - 1 : totalSize - 1});
    }
    return ranges;
}

bool SplitDownload(CThreadsManager* manager, const std::string& url, int64_t totalSize, int32_t taskId,
                   const std::string& path, DWORD startTick)
{
    const DWORD pump = manager != nullptr ? manager->PumpThreadId() : 0;
    if (pump == 0) return false;
    CDownloadRanges::Instance()->Begin(url, path, totalSize, taskId, startTick, 0, pump);
    bool queued = true;
    for (const ByteRange& r : SplitRanges(totalSize, CThreadsManager::SystemProcessorCount()))
        queued = QueueTask(pump, url, path, r.first, r.last, totalSize, taskId, startTick, 0) && queued;
    return queued;
}

bool ResumeDownload(const ResumeData& data, CThreadsManager* manager, int32_t taskId, DWORD startTick)
{
    const DWORD pump = manager != nullptr ? manager->PumpThreadId() : 0;
    if (pump == 0) return false;
    const int64_t done = data.totalSize - data.RemainingBytes();
    // Bytes already on disk start the count but not the speed.
    auto* result = new CTaskResult(taskId, done, data.totalSize, startTick, done);
    if (!PostThreadMessageW(pump, TM_TASK_RESULT, reinterpret_cast<WPARAM>(result), static_cast<LPARAM>(done))) {
        delete result;
        return false;
    }
    CDownloadRanges::Instance()->Begin(data.segments.empty() ? std::string() : SegmentText(data.segments[0]->url),
                                       data.segments.empty() ? std::string() : SegmentText(data.segments[0]->path),
                                       data.totalSize, taskId, startTick, done, pump);
    bool queued = true;
    for (const auto& s : data.segments)
        queued = QueueTask(pump, SegmentText(s->url), SegmentText(s->path), s->start, s->end, data.totalSize, taskId,
                           startTick, done) &&
                 queued;
    return queued;
}

bool StartDownload(const char* url, const std::string& path, CThreadsManager* manager, int64_t totalSize,
                   int32_t taskId, DWORD startTick)
{
    const DWORD pump = manager != nullptr ? manager->PumpThreadId() : 0;
    if (pump == 0) return false;
    if (url == nullptr || *url == 0 || totalSize <= 0 || totalSize >= kMaxDownloadSize) {
        PostThreadMessageW(pump, TM_TASK_FAILED, 0, 0);
        return false;
    }

    CBreakpointCfg* record = CBreakpointCfg::Instance();
    if (!path.empty()) record->SetTarget(path, totalSize);
    ResumeData data;
    if (!path.empty() && record->Load(data) && data.count > 0) {
        if (data.Fits(url, path, totalSize) && FileLength(path) == totalSize)
            return ResumeDownload(data, manager, taskId, startTick);
    }
    // A record that does not describe this download would resume into holes.
    if (!path.empty()) record->RemoveRecordFile();
    return SplitDownload(manager, url, totalSize, taskId, path, startTick);
}
