#include "engine/CDownloadTask.h"

#include <algorithm>
#include <vector>

#include "engine/CDownloadRanges.h"
#include "engine/CIOTask.h"
#include "engine/IBaseThread.h"
#include "engine/RangeReply.h"
#include "engine/ServedBytes.h"
#include "engine/ThreadMessages.h"
#include "net/HttpRangeRequest.h"
#include "platform/CLog.h"
#include "platform/TextConvert.h"
#include "platform/UnlinkedFile.h"

CDownloadTask::CDownloadTask(const std::string& url, const std::string& path, const HttpProxyInfo* proxy, int64_t first,
                             int64_t last, int64_t totalSize, int32_t taskId, DWORD startTick, int64_t baseBytes)
    : ITask(taskId), url_(url), path_(path), proxy_(proxy), position_(first), rangeEnd_(last), totalSize_(totalSize),
      startTick_(startTick), baseBytes_(baseBytes)
{}

CDownloadTask::~CDownloadTask() { CloseFile(); }

void CDownloadTask::CloseFile() { file_.Reset(); }

int64_t CDownloadTask::RequestMs() const
{
    // On a far server the wait for each reply grows: requests grow with it.
    return std::max<int64_t>(kRequestMs, 20 * static_cast<int64_t>(replyWaitMs_));
}

void CDownloadTask::PostFailed(FailureCause cause) const
{
    PostThreadMessageW(notifyThreadId_, TM_TASK_FAILED, static_cast<WPARAM>(cause), 0);
}

bool CDownloadTask::PostUncounted()
{
    if (uncounted_ == 0) return true;
    if (!CIOTask::PostCount(notifyThreadId_, taskId_, uncounted_, totalSize_, startTick_, baseBytes_)) return false;
    uncounted_ = 0;
    return true;
}

bool CDownloadTask::CheckStop() const { return ownerThread_ != nullptr && ownerThread_->IsStopping(); }

bool CDownloadTask::Run()
{
    CDownloadRanges* ranges = CDownloadRanges::Instance();
    // The requests of one run share a connection; a stop cancels the one under way.
    HttpRangeRequest http(ownerThread_ != nullptr ? ownerThread_->StopEvent() : nullptr);
    for (;;) {
        int64_t requestLast = rangeEnd_;
        if (rangeId_ != 0 &&
            !ranges->NextRequest(rangeId_, position_, bytesPerSecond_, RequestMs(), requestLast, rangeEnd_))
            rangeId_ = 0;
        // A range already complete (a stop right after its last chunk) needs no request.
        if (position_ > rangeEnd_) break;
        switch (FetchRequest(http, requestLast)) {
        case Fetch::Done: continue;
        case Fetch::Stopped: CloseFile(); return true;
        case Fetch::Failed: {
            CloseFile();
            const FailureCause cause = writeFailure_;
            writeFailure_ = FAILURE_OTHER;
            // A request that a stop closed is no failure of the download.
            if (CheckStop()) return true;
            if (cause == FAILURE_DISK_FULL) ranges->DiskFull();
            PostFailed(cause);
            return false;
        }
        case Fetch::Again: CloseFile(); return false;
        }
    }
    CloseFile();
    if (rangeId_ != 0) ranges->Finish(rangeId_);
    // A count still owed makes the task run again, only to post it.
    return PostUncounted();
}

CDownloadTask::Fetch CDownloadTask::FetchRequest(HttpRangeRequest& http, int64_t requestLast)
{
    if (!file_) {
        const std::wstring widePath = Utf8ToWide(path_);
        bool linked = false;
        if (!widePath.empty())
            // Shared for deletion too: the finished file may be renamed while
            // a handle is still on its way to being closed.
            file_ = OpenUnlinkedFile(widePath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     OPEN_EXISTING, FILE_FLAG_OVERLAPPED, &linked);
        if (!file_) {
            // A virus scanner may hold the file for a moment: the thread runs
            // the task again after its pause.
            if (!linked && GetLastError() == ERROR_SHARING_VIOLATION) return Fetch::Again;
            // Without a notice a missing (or planted) target would be retried unseen for ever.
            if (linked) CLog::WriteShared("CDownloader::LinkedFile", "a link, left alone: %s", path_.c_str());
            return Fetch::Failed;
        }
    }
    CDownloadRanges* ranges = CDownloadRanges::Instance();
    const DWORD sent = GetTickCount();
    // If-Range: a package replaced on the server since the first reply comes
    // back whole instead of as the range of another file.
    if (!http.Send(proxy_, url_, position_, requestLast, ranges->IfRange())) return Fetch::Failed;

    // Bytes of any other range, or of a different file, must never be written.
    DWORD status = 0;
    if (!http.Status(status)) return Fetch::Failed;
    const RangeReply::Reply reply = ReplyOf(http, status);
    int64_t replyLast = 0;
    // Only a reply that is usable but for its validator may give the first one.
    const bool usable =
        RangeReply::Check(reply, position_, requestLast, totalSize_, true, replyLast) == RangeReply::Verdict::Use;
    switch (RangeReply::Check(reply, position_, requestLast, totalSize_,
                              ranges->KnowsValidator(reply.validator, usable), replyLast)) {
    case RangeReply::Verdict::Use: break;
    case RangeReply::Verdict::Refuse: return Fetch::Failed;
    case RangeReply::Verdict::Unproven: return ProveValidator(http);
    }
    unprovenWaits_ = 0;
    // A reply shorter than the request counts up to its end; the next request
    // asks for the rest.
    requestLast = replyLast;

    const DWORD replied = GetTickCount();
    const int64_t first = position_;
    std::vector<char> buffer(kReadSize);
    for (;;) {
        // Never read past the request: a longer reply must not reach the file.
        const int64_t owed = requestLast + 1 - position_;
        const DWORD want = static_cast<DWORD>(std::min<int64_t>(owed, readSize_));
        const DWORD began = GetTickCount();
        DWORD got = 0;
        switch (http.ReadSome(buffer.data(), want, got)) {
        case HttpRangeRequest::Read::Data: break;
        // A stall: reconnect at once from `position`, without a notice. What
        // the timed-out read had received is lost; small reads after a stall
        // keep a server that sends in dribbles from never filling one.
        case HttpRangeRequest::Read::TimedOut: readSize_ = kMinReadSize; return Fetch::Again;
        // An error, or the reply ended before the range did.
        case HttpRangeRequest::Read::Ended:
        case HttpRangeRequest::Read::Failed: return Fetch::Failed;
        }
        const DWORD took = GetTickCount() - began;
        if (took < 20 && got == want) readSize_ = std::min(readSize_ * 2, kReadSize);
        if (took > 100) readSize_ = std::max(readSize_ / 2, kMinReadSize);

        CIOTask write(file_.Get(), buffer.data(), got, static_cast<uint32_t>(position_), taskId_, totalSize_, path_,
                      startTick_, baseBytes_);
        // A chunk that cannot be written ends the run at `position`, so the
        // next run fetches it again and no hole is left behind.
        if (!write.Write()) {
            writeFailure_ = FailureCauseOf(GetLastError());
            return Fetch::Failed;
        }
        position_ += got;
        // Recorded before it is counted: once every byte is counted, no
        // range may still claim one as missing.
        if (rangeId_ != 0) ranges->Advance(rangeId_, position_);
        // Bytes whose count cannot be posted go with the next post; the last
        // count may complete the download and set off its rename, so the
        // file is closed before it goes.
        uncounted_ += got;
        if (position_ > rangeEnd_) CloseFile();
        PostUncounted();

        if (CheckStop()) return Fetch::Stopped;
        if (position_ > requestLast) {
            // Timed from the reply, so the speed is the line's alone; ticks
            // are coarse, hence the floor, and a range's last few bytes tell
            // nothing.
            const DWORD ms = std::max<DWORD>(GetTickCount() - replied, 16);
            if (position_ - first >= kReadSize) bytesPerSecond_ = (position_ - first) * 1000 / ms;
            replyWaitMs_ = replied - sent;
            return Fetch::Done;
        }
    }
}

CDownloadTask::Fetch CDownloadTask::ProveValidator(HttpRangeRequest& http)
{
    CDownloadRanges* ranges = CDownloadRanges::Instance();
    // A reply from a node already known tells nothing of the new one: the
    // next may reach another.
    for (int tries = 0; tries < kProbeTries; ++tries) {
        RangeBook::Span span{};
        uint64_t ticket = 0;
        switch (ranges->BeginProbe(kProbeBytes, span, ticket)) {
        case CDownloadRanges::Probe::Go: break;
        // Another connection is comparing: its verdict will do for this one too.
        case CDownloadRanges::Probe::Busy: return Fetch::Again;
        // The first bytes land moments after the first reply. A file replaced
        // before any did leaves nothing to compare, and nothing to lose.
        case CDownloadRanges::Probe::NothingWritten:
            if (++unprovenWaits_ < kMaxUnprovenWaits) return Fetch::Again;
            ranges->Discard();
            return Fetch::Failed;
        }
        unprovenWaits_ = 0;
        RangeReply::Validator served;
        switch (CompareServedBytes(http, proxy_, url_, path_, span, totalSize_, served)) {
        case ServedBytes::Same:
            if (!ranges->EndProbe(ticket, &served)) continue;
            CLog::WriteShared("CDownloader::Validator", "the same bytes under another validator: %s %s",
                              served.etag.c_str(), served.lastModified.c_str());
            return Fetch::Done;
        case ServedBytes::Differ:
            ranges->EndProbe(ticket, nullptr);
            CLog::WriteShared("CDownloader::Validator", "the package changed on the server: %s %s", served.etag.c_str(),
                              served.lastModified.c_str());
            ranges->Discard();
            return Fetch::Failed;
        case ServedBytes::Stalled: ranges->EndProbe(ticket, nullptr); return Fetch::Again;
        case ServedBytes::Failed: ranges->EndProbe(ticket, nullptr); return Fetch::Failed;
        }
    }
    return Fetch::Again;
}
