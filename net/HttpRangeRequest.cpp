#include "net/HttpRangeRequest.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "net/InternetCalls.h"
#include "net/ServerEndpoints.h"
#include "platform/CLog.h"
#include "platform/UniqueHandle.h"

namespace {
bool Usable(HINTERNET h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
}  // namespace

// What WinINet's worker threads may touch while a call is pending: the
// request's context. Freed only after the request's handle-closing report,
// its last callback.
struct HttpRangeRequest::Pending {
    UniqueHandle completed{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    UniqueHandle closed{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    DWORD result = 0;
    DWORD error = 0;
    std::string headers;
    // Filled by a pending read or query, which may end after its caller gave up.
    DWORD count = 0;
    char buffer[kMaxRead];
};

void CALLBACK HttpRangeRequest::OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD)
{
    // The session and connection have no context.
    auto* pending = reinterpret_cast<Pending*>(context);
    if (pending == nullptr) return;
    if (status == INTERNET_STATUS_REQUEST_COMPLETE && info != nullptr) {
        const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        pending->result = static_cast<DWORD>(result->dwResult);
        pending->error = result->dwError;
        SetEvent(pending->completed.Get());
    } else if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        // The last touch: the owner may free `pending` from here on.
        SetEvent(pending->closed.Get());
    }
}

HttpRangeRequest::HttpRangeRequest(HANDLE cancel) : cancel_(cancel) {}

HttpRangeRequest::~HttpRangeRequest() { Close(); }

bool HttpRangeRequest::Cancelled() const
{
    return cancel_ != nullptr && WaitForSingleObject(cancel_, 0) == WAIT_OBJECT_0;
}

bool HttpRangeRequest::Finish(BOOL started)
{
    if (started) return true;
    if (GetLastError() != ERROR_IO_PENDING) return false;
    const HANDLE waits[2] = {pending_->completed.Get(), cancel_};
    if (WaitForMultipleObjects(cancel_ != nullptr ? 2 : 1, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
        // The result is documented as the call's BOOL; a success with a
        // zero result (a count, say) still carries no error.
        if (pending_->result != FALSE || pending_->error == ERROR_SUCCESS) return true;
        SetLastError(pending_->error);
        return false;
    }
    // Closing the request is how a pending call is cancelled.
    Close();
    SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
    return false;
}

bool HttpRangeRequest::Send(const HttpProxyInfo* proxy, const std::string& url, int64_t first, int64_t last,
                            const std::string& ifRange)
{
    next_ = Read::Data;
    DropRequest();
    if (Cancelled()) return false;
    if (!handles_.connection || url != url_) {
        Close();
        if (url.empty() || !HttpOpenConnection(proxy, &handles_, url.c_str(), &target_, CertificateChecks::Lenient,
                                               &HttpRangeRequest::OnStatus))
            return false;
        url_ = url;
        // Without effect on a connection handle (the process-wide limits are
        // set when the first connection is opened), and harmless.
        DWORD maxConnections = kHttpMaxConnectionsPerServer;
        InternetSetOptionA(handles_.connection.Get(), INTERNET_OPTION_MAX_CONNS_PER_SERVER, &maxConnections,
                           sizeof(DWORD));
        InternetSetOptionA(handles_.connection.Get(), INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &maxConnections,
                           sizeof(DWORD));
    }
    auto pending = std::make_unique<Pending>();
    if (!pending->completed || !pending->closed) {
        Close();
        return false;
    }
    HINTERNET request =
        INET_CALL(HttpOpenRequestA)(handles_.connection.Get(), "GET", target_.path.c_str(), "HTTP/1.1", nullptr,
                                    nullptr, target_.flags, reinterpret_cast<DWORD_PTR>(pending.get()));
    if (Usable(request)) {
        handles_.request.Reset(request);
        pending_ = std::move(pending);
        pending_->headers = ServerEndpoints::RangeHeader(first, last);
        if (!ifRange.empty()) pending_->headers += "If-Range: " + ifRange + "\r\n";
        if (Finish(INET_CALL(HttpSendRequestA)(request, pending_->headers.c_str(),
                                               static_cast<DWORD>(pending_->headers.size()), nullptr, 0)))
            return true;
        const DWORD error = GetLastError();
        if (handles_.request) HttpWidenSecurityFlags(request, error);
    }
    Close();
    return false;
}

bool HttpRangeRequest::Status(DWORD& status) const
{
    return handles_.request && HttpQueryNumber(handles_.request.Get(), HTTP_QUERY_STATUS_CODE, status);
}

int64_t HttpRangeRequest::ContentLength() const
{
    DWORD length = 0;
    if (!handles_.request || !HttpQueryNumber(handles_.request.Get(), HTTP_QUERY_CONTENT_LENGTH, length))
        return kUnknownLength;
    return static_cast<int64_t>(length);
}

std::string HttpRangeRequest::ContentRange() const
{
    return handles_.request ? HttpQueryText(handles_.request.Get(), HTTP_QUERY_CONTENT_RANGE) : std::string();
}

std::string HttpRangeRequest::ContentType() const
{
    return handles_.request ? HttpQueryText(handles_.request.Get(), HTTP_QUERY_CONTENT_TYPE) : std::string();
}

std::string HttpRangeRequest::ETag() const
{
    return handles_.request ? HttpQueryText(handles_.request.Get(), HTTP_QUERY_ETAG) : std::string();
}

std::string HttpRangeRequest::LastModified() const
{
    return handles_.request ? HttpQueryText(handles_.request.Get(), HTTP_QUERY_LAST_MODIFIED) : std::string();
}

bool HttpRangeRequest::QueryAvailable(DWORD& available)
{
    // A query that had to wait reports its end only: asked again, it counts
    // what arrived.
    for (;;) {
        if (Cancelled()) {
            Close();
            SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
            return false;
        }
        pending_->count = 0;
        const BOOL now = INET_CALL(InternetQueryDataAvailable)(handles_.request.Get(), &pending_->count, 0, 0);
        if (now) {
            available = pending_->count;
            return true;
        }
        if (!Finish(now)) return false;
    }
}

HttpRangeRequest::Read HttpRangeRequest::ReadSome(void* buffer, DWORD want, DWORD& got)
{
    got = 0;
    if (next_ != Read::Data) return std::exchange(next_, Read::Data);
    if (!handles_.request) return Read::Failed;
    want = std::min(want, kMaxRead);
    DWORD firstTick = 0;
    while (got < want) {
        // Waits (up to the receive time-out) until something has arrived.
        DWORD available = 0;
        Read outcome = Read::Data;
        DWORD n = 0;
        if (!QueryAvailable(available))
            outcome = ReadFailed();
        else if (available == 0)
            outcome = Read::Ended;
        else {
            // Into the request's own buffer: a read may end after a cancel.
            pending_->count = 0;
            if (!Finish(INET_CALL(InternetReadFile)(handles_.request.Get(), pending_->buffer,
                                                    std::min(want - got, available), &pending_->count)))
                outcome = ReadFailed();
            else if ((n = pending_->count) == 0)
                outcome = Read::Ended;
            else
                std::memcpy(static_cast<char*>(buffer) + got, pending_->buffer, n);
        }
        // Bytes in hand go first; what ended the reading is told next time.
        if (outcome != Read::Data) {
            if (got == 0) return outcome;
            next_ = outcome;
            break;
        }
        if (got == 0) firstTick = GetTickCount();
        got += n;
        if (GetTickCount() - firstTick >= kGatherMs) break;
    }
    return Read::Data;
}

HttpRangeRequest::Read HttpRangeRequest::ReadFailed()
{
    // Wine reports the receive time-out as the socket's WSAETIMEDOUT.
    const DWORD error = GetLastError();
    if (error == ERROR_INTERNET_TIMEOUT || error == WSAETIMEDOUT) return Read::TimedOut;
    // A cancelled request is not used again.
    if (Cancelled()) Close();
    return Read::Failed;
}

void HttpRangeRequest::DropRequest()
{
    if (!handles_.request) return;
    // Ends a pending call; its context goes only once WinINet is done with it.
    handles_.request.Reset();
    std::unique_ptr<Pending> pending = std::move(pending_);
    if (WaitForSingleObject(pending->closed.Get(), kClosingWaitMs) == WAIT_OBJECT_0) return;
    // WinINet may still write into it: never freed.
    static_cast<void>(pending.release());
    CLog::WriteShared("HttpRangeRequest::Close", "a closed request did not report its end within %lu ms, left",
                      static_cast<unsigned long>(kClosingWaitMs));
}

void HttpRangeRequest::Close()
{
    next_ = Read::Data;
    DropRequest();
    HttpCloseHandles(&handles_);
    url_.clear();
}
