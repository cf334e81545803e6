#include "engine/CDownloadRanges.h"

#include <memory>

#include "engine/CBreakpointCfg.h"
#include "engine/CDownloadTask.h"
#include "platform/ScopedLock.h"
#include "platform/TextConvert.h"
#include "platform/UnlinkedFile.h"
#include "platform/UniqueHandle.h"

CDownloadRanges* CDownloadRanges::Instance()
{
    static CDownloadRanges ranges;
    return &ranges;
}

void CDownloadRanges::Begin(const std::string& url, const std::string& path, int64_t totalSize, int32_t taskId,
                            DWORD startTick, int64_t baseBytes, DWORD notifyThreadId)
{
    ScopedLock hold(lock_);
    book_.Clear();
    download_ = Download{url, path, totalSize, taskId, startTick, baseBytes, notifyThreadId};
}

void CDownloadRanges::Clear()
{
    ScopedLock hold(lock_);
    book_.Clear();
    download_ = Download();
}

uint64_t CDownloadRanges::Add(int64_t first, int64_t last)
{
    ScopedLock hold(lock_);
    return book_.Add(first, last);
}

void CDownloadRanges::Advance(uint64_t id, int64_t position)
{
    ScopedLock hold(lock_);
    book_.Advance(id, position);
}

bool CDownloadRanges::End(uint64_t id, int64_t& last)
{
    ScopedLock hold(lock_);
    return book_.End(id, last);
}

bool CDownloadRanges::NextRequest(uint64_t id, int64_t position, int64_t bytesPerSecond, int64_t requestMs,
                                  int64_t& requestLast, int64_t& rangeLast)
{
    ScopedLock hold(lock_);
    return book_.NextRequest(id, position, bytesPerSecond, requestMs, requestLast, rangeLast);
}

void CDownloadRanges::Finish(uint64_t id)
{
    ScopedLock hold(lock_);
    book_.Finish(id);
}

CDownloadTask* CDownloadRanges::SplitLargest()
{
    RangeBook::Span span{};
    uint64_t id = 0;
    Download d;
    {
        ScopedLock hold(lock_);
        if (!book_.Split(span, id)) return nullptr;
        d = download_;
    }
    auto* task = new CDownloadTask(d.url, d.path, nullptr, span.first, span.last, d.totalSize, d.taskId, d.startTick,
                                   d.baseBytes);
    task->CreateGuid();
    task->SetNotifyThreadId(d.notifyThreadId);
    task->SetRangeId(id);
    return task;
}

bool CDownloadRanges::Take(Snapshot& out)
{
    ScopedLock hold(lock_);
    if (download_.path.empty()) return false;
    out.remaining = book_.Remaining();
    if (out.remaining.empty()) return false;
    out.url = download_.url;
    out.path = download_.path;
    out.totalSize = download_.totalSize;
    return true;
}

bool CDownloadRanges::Checkpoint()
{
    Snapshot now;
    if (!Take(now)) return false;
    // Every byte the snapshot counts was written before this flush, so the
    // record never claims bytes that a power cut could lose.
    {
        UniqueHandle data = OpenUnlinkedFile(Utf8ToWide(now.path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
        if (!data || !FlushFileBuffers(data.Get())) return false;
    }
    std::vector<ResumeSegment> segments;
    for (const RangeBook::Span& s : now.remaining) {
        std::unique_ptr<ResumeSegment> made(
            ResumeSegment::Make(static_cast<uint32_t>(s.first), static_cast<uint32_t>(s.last), now.url, now.path));
        if (!made) return false;
        segments.push_back(*made);
    }
    if (!CBreakpointCfg::WriteRecordFile(now.path + ".cfg", now.totalSize, segments)) return false;
    // The last bytes may have landed meanwhile, and the finished download's
    // record been deleted: a record written after that would outlive it.
    Snapshot after;
    if (!Take(after) || after.path != now.path) DeleteUnlinkedFile(Utf8ToWide(now.path + ".cfg"));
    return true;
}
