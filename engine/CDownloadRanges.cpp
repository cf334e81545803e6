#include "engine/CDownloadRanges.h"

#include <algorithm>
#include <memory>

#include "engine/CBreakpointCfg.h"
#include "engine/CDownloadTask.h"
#include "engine/ResumeData.h"
#include "engine/TaskBatch.h"
#include "engine/ThreadMessages.h"
#include "platform/CLog.h"
#include "platform/DiskSpace.h"
#include "platform/OwnedPost.h"
#include "platform/ScopedLock.h"
#include "platform/TextConvert.h"
#include "platform/UnlinkedFile.h"

CDownloadRanges* CDownloadRanges::Instance()
{
    static CDownloadRanges ranges;
    return &ranges;
}

namespace {
int64_t FileLength(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    const std::wstring wide = Utf8ToWide(path);
    if (wide.empty() || !GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}
}  // namespace

bool CDownloadRanges::Start(const std::string& url, const std::string& path, int64_t totalSize, int32_t taskId,
                            DWORD startTick, DWORD pump, unsigned processors)
{
    auto batch = std::make_unique<TaskBatch>();
    std::vector<RangeBook::Span> spans;
    int64_t done = 0;
    CBreakpointCfg* record = CBreakpointCfg::Instance();
    if (!path.empty()) {
        record->SetTarget(path, totalSize);
        ResumeData data;
        if (record->Load(data) && data.count > 0 && data.Fits(path, totalSize) && FileLength(path) == totalSize) {
            // A record that fits names this path in every segment.
            for (const auto& s : data.segments) spans.push_back({s->start, s->end});
            done = data.totalSize - data.RemainingBytes();
            // Bytes already on disk start the count but not the speed.
            batch->counted = std::make_unique<CTaskResult>(taskId, done, totalSize, startTick, done);
        } else {
            // A record that does not describe this download would resume into holes.
            record->RemoveRecordFile();
        }
    }
    if (!batch->counted) spans = RangeBook::FirstRanges(totalSize, processors);
    batch->tasks =
        Begin(Download{url, path, totalSize, taskId, startTick, done, pump}, spans, batch->counted != nullptr);
    if (PostOwned(pump, TM_QUEUE_TASK, batch)) return true;
    Clear();
    return false;
}

std::vector<std::unique_ptr<CDownloadTask>>
CDownloadRanges::Begin(const Download& d, const std::vector<RangeBook::Span>& spans, bool resumed)
{
    std::vector<uint64_t> ids;
    {
        ScopedLock hold(lock_);
        // The validator holds for bytes this run fetched: kept when they go on.
        if (!resumed || discarded_ || validatorPath_ != d.path || validatorSize_ != d.totalSize) {
            validator_ = RangeReply::Validator();
            proven_.clear();
        }
        // A comparison still under way belongs to the download before.
        probeTicket_ = 0;
        validatorPath_ = d.path;
        validatorSize_ = d.totalSize;
        discarded_ = false;
        diskFullLogged_ = false;
        book_.Clear();
        download_ = d;
        for (const RangeBook::Span& s : spans) ids.push_back(book_.Add(s.first, s.last));
    }
    std::vector<std::unique_ptr<CDownloadTask>> tasks;
    for (size_t i = 0; i < spans.size(); ++i) tasks.push_back(MakeTask(d, spans[i], ids[i]));
    return tasks;
}

std::unique_ptr<CDownloadTask> CDownloadRanges::MakeTask(const Download& d, const RangeBook::Span& span, uint64_t id)
{
    auto task = std::make_unique<CDownloadTask>(d.url, d.path, nullptr, span.first, span.last, d.totalSize, d.taskId,
                                                d.startTick, d.baseBytes);
    task->CreateGuid();
    task->SetNotifyThreadId(d.notifyThreadId);
    task->SetRangeId(id);
    return task;
}

void CDownloadRanges::Park()
{
    std::vector<RangeBook::Span> owed;
    Download d;
    bool discarded = false;
    {
        ScopedLock hold(lock_);
        owed = book_.Remaining(true);
        d = download_;
        discarded = discarded_;
        book_.Clear();
        download_ = Download();
    }
    if (d.path.empty()) return;
    if (discarded) {
        CBreakpointCfg::Instance()->RemoveRecordFile();
        return;
    }
    // Each record lock is taken after this one is left.
    CBreakpointCfg* record = CBreakpointCfg::Instance();
    for (const RangeBook::Span& s : owed)
        record->AddSegment(
            ResumeSegment::Make(static_cast<uint32_t>(s.first), static_cast<uint32_t>(s.last), d.url, d.path));
    // On disk at once: the process may end at any moment from here (killed
    // while the failure box is up) without reaching its exit.
    if (!owed.empty()) record->Save();
}

void CDownloadRanges::Clear()
{
    ScopedLock hold(lock_);
    book_.Clear();
    download_ = Download();
}

void CDownloadRanges::Advance(uint64_t id, int64_t position)
{
    ScopedLock hold(lock_);
    book_.Advance(id, position);
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

CDownloadTask* CDownloadRanges::SplitLongest(bool* soon)
{
    RangeBook::Span span{};
    uint64_t id = 0;
    Download d;
    {
        ScopedLock hold(lock_);
        if (soon) *soon = false;
        if (!book_.Split(span, id)) {
            if (soon) *soon = book_.AnyWaiting();
            return nullptr;
        }
        d = download_;
    }
    return MakeTask(d, span, id).release();
}

bool CDownloadRanges::KnowsValidator(const RangeReply::Validator& received, bool mayKeep)
{
    ScopedLock hold(lock_);
    if (validator_.etag.empty() && validator_.lastModified.empty()) {
        if (mayKeep) validator_ = received;
        return true;
    }
    if (RangeReply::SameVersion(received, validator_)) return true;
    for (const RangeReply::Validator& v : proven_)
        if (RangeReply::SameVersion(received, v)) return true;
    return false;
}

std::string CDownloadRanges::IfRange()
{
    ScopedLock hold(lock_);
    return proven_.empty() ? RangeReply::IfRange(validator_) : std::string();
}

CDownloadRanges::Probe CDownloadRanges::BeginProbe(int64_t maxBytes, RangeBook::Span& span, uint64_t& ticket)
{
    ScopedLock hold(lock_);
    if (probeTicket_ != 0) return Probe::Busy;
    if (download_.path.empty() || discarded_) return Probe::NothingWritten;
    // What is on disk is what no range still owes.
    std::vector<RangeBook::Span> owed = book_.Remaining();
    std::sort(owed.begin(), owed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    int64_t from = 0;
    for (const RangeBook::Span& s : owed) {
        if (s.first > from) break;
        from = std::max(from, s.last + 1);
    }
    if (from >= download_.totalSize) return Probe::NothingWritten;
    int64_t to = download_.totalSize - 1;
    for (const RangeBook::Span& s : owed)
        if (s.first > from) {
            to = s.first - 1;
            break;
        }
    span = {from, std::min(to, from + maxBytes - 1)};
    ticket = probeTicket_ = nextTicket_++;
    return Probe::Go;
}

bool CDownloadRanges::EndProbe(uint64_t ticket, const RangeReply::Validator* sameBytes)
{
    ScopedLock hold(lock_);
    if (ticket == 0 || ticket != probeTicket_) return false;
    probeTicket_ = 0;
    if (sameBytes == nullptr || RangeReply::SameVersion(*sameBytes, validator_)) return false;
    for (const RangeReply::Validator& v : proven_)
        if (RangeReply::SameVersion(*sameBytes, v)) return false;
    proven_.push_back(*sameBytes);
    return true;
}

void CDownloadRanges::Discard()
{
    {
        ScopedLock hold(lock_);
        if (discarded_ || download_.path.empty()) return;
        discarded_ = true;
    }
    CBreakpointCfg::Instance()->RemoveRecordFile();
}

bool CDownloadRanges::Take(Snapshot& out)
{
    ScopedLock hold(lock_);
    if (download_.path.empty() || discarded_) return false;
    out.remaining = book_.Remaining();
    if (out.remaining.empty()) return false;
    out.url = download_.url;
    out.path = download_.path;
    out.totalSize = download_.totalSize;
    return true;
}

void CDownloadRanges::DiskFull()
{
    Snapshot now;
    {
        ScopedLock hold(lock_);
        if (diskFullLogged_) return;
        diskFullLogged_ = true;
    }
    if (!Take(now)) return;
    int64_t owed = 0;
    for (const RangeBook::Span& s : now.remaining) owed += s.last + 1 - s.first;
    const std::wstring folder = FolderOf(Utf8ToWide(now.path));
    uint64_t available = 0;
    if (!FreeBytesOfFolder(folder, available)) available = 0;
    CLog::WriteShared(
        "CDownloader::GetQuorvex", "disk full while downloading: %lld bytes still needed, %llu free in %s",
        static_cast<long long>(owed), static_cast<unsigned long long>(available), WideToUtf8(folder).c_str());
}

bool CDownloadRanges::Checkpoint()
{
    Snapshot now;
    if (!Take(now)) return false;
    // Every byte the snapshot counts was written before this flush, so the
    // record never claims bytes that a power cut could lose.
    if (!CBreakpointCfg::FlushTarget(now.path)) return false;
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
