#include "engine/CDownloadTask.h"

#include <wininet.h>

#include <cstring>
#include <vector>

#include "engine/CDownloadRanges.h"
#include "engine/CIOTask.h"
#include "engine/IBaseThread.h"
#include "engine/RangeReply.h"
#include "engine/ResumeSegment.h"
#include "engine/ThreadMessages.h"
#include "net/HttpConnection.h"
#include "net/ServerEndpoints.h"
#include "platform/TextConvert.h"
#include "platform/UnlinkedFile.h"

namespace {

bool QueryNumber(HINTERNET request, DWORD what, DWORD& value)
{
    // A 4-byte buffer: Wine rejects a larger one for numeric queries.
    DWORD length = sizeof(value), index = 0;
    return HttpQueryInfoA(request, what | HTTP_QUERY_FLAG_NUMBER, &value, &length, &index) != FALSE;
}

std::string QueryText(HINTERNET request, DWORD what)
{
    char text[256] = {};
    DWORD length = sizeof(text) - 1, index = 0;
    if (!HttpQueryInfoA(request, what, text, &length, &index)) return "";
    return std::string(text, strnlen(text, sizeof(text)));
}

}  // namespace

CDownloadTask::CDownloadTask(const std::string& url, const std::string& path, const HttpProxyInfo* proxy, int64_t first,
                             int64_t last, int64_t totalSize, int32_t taskId, DWORD startTick, int64_t baseBytes)
    : ITask(taskId), url_(url), path_(path), proxy_(proxy), position_(first), rangeEnd_(last), totalSize_(totalSize),
      startTick_(startTick), baseBytes_(baseBytes)
{}

CDownloadTask::~CDownloadTask() { CloseFile(); }

void CDownloadTask::CloseFile() { file_.Reset(); }

void CDownloadTask::PostFailed() const { PostThreadMessageW(notifyThreadId_, TM_TASK_FAILED, 0, 0); }

bool CDownloadTask::PostUncounted()
{
    if (uncounted_ == 0) return true;
    if (!CIOTask::PostCount(notifyThreadId_, taskId_, uncounted_, totalSize_, startTick_, baseBytes_)) return false;
    uncounted_ = 0;
    return true;
}

ResumeSegment* CDownloadTask::MakeRemainderSegment() const
{
    int64_t last = rangeEnd_;
    if (rangeId_ != 0) CDownloadRanges::Instance()->End(rangeId_, last);
    return ResumeSegment::Make(static_cast<uint32_t>(position_), static_cast<uint32_t>(last), url_, path_);
}

void CDownloadTask::PostRemainder()
{
    ResumeSegment* segment = MakeRemainderSegment();
    if (segment == nullptr) return;
    if (!PostThreadMessageW(notifyThreadId_, TM_SAVE_SEGMENT, reinterpret_cast<WPARAM>(segment), 0)) delete segment;
}

bool CDownloadTask::CheckStop()
{
    if (ownerThread_ == nullptr || !ownerThread_->IsStopping()) return false;
    PostRemainder();
    return true;
}

bool CDownloadTask::Run()
{
    CDownloadRanges* ranges = CDownloadRanges::Instance();
    for (;;) {
        int64_t requestLast = rangeEnd_;
        if (rangeId_ != 0 && !ranges->NextRequest(rangeId_, position_, requestLast, rangeEnd_)) rangeId_ = 0;
        // A range already complete (a stop right after its last chunk) needs no request.
        if (position_ > rangeEnd_) break;
        switch (FetchRequest(requestLast)) {
        case Fetch::Done: continue;
        case Fetch::Stopped: CloseFile(); return true;
        case Fetch::Failed:
            CloseFile();
            PostFailed();
            return false;
        case Fetch::Again: CloseFile(); return false;
        }
    }
    CloseFile();
    if (rangeId_ != 0) ranges->Finish(rangeId_);
    // A count still owed makes the task run again, only to post it.
    return PostUncounted();
}

CDownloadTask::Fetch CDownloadTask::FetchRequest(int64_t requestLast)
{
    if (!file_) {
        const std::wstring widePath = Utf8ToWide(path_);
        if (!widePath.empty())
            // Shared for deletion too: the finished file may be renamed while
            // a handle is still on its way to being closed.
            file_ = OpenUnlinkedFile(widePath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
        // Without a notice a missing (or planted) target would be retried unseen for ever.
        if (!file_) return Fetch::Failed;
    }
    if (url_.empty()) return Fetch::Failed;

    HttpHandles handles;
    HttpTarget target;
    if (!HttpOpenConnection(proxy_, &handles, url_.c_str(), &target)) return Fetch::Failed;
    // Without effect on a connection handle (the process-wide limits are set
    // when the connection is opened), and harmless.
    DWORD maxConnections = kHttpMaxConnectionsPerServer;
    InternetSetOptionA(handles.connection.Get(), INTERNET_OPTION_MAX_CONNS_PER_SERVER, &maxConnections, sizeof(DWORD));
    InternetSetOptionA(handles.connection.Get(), INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &maxConnections,
                       sizeof(DWORD));

    // HTTP/1.1, so that a range's next request can reuse the connection of
    // the one before it instead of opening another.
    HINTERNET request = HttpOpenRequestA(handles.connection.Get(), "GET", target.path.c_str(), "HTTP/1.1", nullptr,
                                         nullptr, target.flags, 0);
    if (request == nullptr || request == INVALID_HANDLE_VALUE) return Fetch::Failed;
    handles.request.Reset(request);
    const std::string range = ServerEndpoints::RangeHeader(position_, requestLast);
    HttpAddRequestHeadersA(request, range.c_str(), static_cast<DWORD>(range.size()),
                           HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
        HttpWidenSecurityFlags(request, GetLastError());
        return Fetch::Failed;
    }

    // Bytes of any other range, or of a different file, must never be written.
    DWORD status = 0, contentLength = 0;
    int64_t length = QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, contentLength)
                         ? static_cast<int64_t>(contentLength)
                         : RangeReply::kUnknown;
    if (!QueryNumber(request, HTTP_QUERY_STATUS_CODE, status) ||
        !RangeReply::Acceptable(status, QueryText(request, HTTP_QUERY_CONTENT_RANGE), length, position_, totalSize_))
        return Fetch::Failed;

    CDownloadRanges* ranges = CDownloadRanges::Instance();
    char buffer[kReadSize];
    for (;;) {
        // Never read past the request: a longer reply must not reach the file.
        const int64_t owed = requestLast + 1 - position_;
        const DWORD want = owed < static_cast<int64_t>(kReadSize) ? static_cast<DWORD>(owed) : kReadSize;
        DWORD got = 0;
        if (!InternetReadFile(request, buffer, want, &got)) {
            // A stall: reconnect at once from `position`, without a notice.
            // Wine reports the receive time-out as the socket's WSAETIMEDOUT.
            const DWORD error = GetLastError();
            return error == ERROR_INTERNET_TIMEOUT || error == WSAETIMEDOUT ? Fetch::Again : Fetch::Failed;
        }
        if (got == 0) return Fetch::Failed;  // the reply ended before the range did

        CIOTask write(file_.Get(), buffer, got, static_cast<uint32_t>(position_), taskId_, totalSize_, path_,
                      startTick_, baseBytes_);
        write.SetNotifyThreadId(notifyThreadId_);
        // A chunk that cannot be written ends the run at `position`, so the
        // next run fetches it again and no hole is left behind.
        if (!write.Write()) return Fetch::Failed;
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
        if (position_ > requestLast) return Fetch::Done;
    }
}
