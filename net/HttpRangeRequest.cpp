#include "net/HttpRangeRequest.h"

#include <algorithm>
#include <utility>

#include "net/ServerEndpoints.h"

namespace {
bool Usable(HINTERNET h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
}  // namespace

HttpRangeRequest::~HttpRangeRequest() { Close(); }

bool HttpRangeRequest::Send(const HttpProxyInfo* proxy, const std::string& url, int64_t first, int64_t last,
                            const std::string& ifRange)
{
    next_ = Read::Data;
    DropRequest();
    if (cancel_->Cancelled()) return false;
    if (!handles_.connection || url != url_) {
        Close();
        if (url.empty() || !HttpOpenConnection(proxy, &handles_, url.c_str(), &target_)) return false;
        url_ = url;
        // Without effect on a connection handle (the process-wide limits are
        // set when the first connection is opened), and harmless.
        DWORD maxConnections = kHttpMaxConnectionsPerServer;
        InternetSetOptionA(handles_.connection.Get(), INTERNET_OPTION_MAX_CONNS_PER_SERVER, &maxConnections,
                           sizeof(DWORD));
        InternetSetOptionA(handles_.connection.Get(), INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &maxConnections,
                           sizeof(DWORD));
    }
    HINTERNET request = HttpOpenRequestA(handles_.connection.Get(), "GET", target_.path.c_str(), "HTTP/1.1", nullptr,
                                         nullptr, target_.flags, 0);
    if (Usable(request)) {
        handles_.request.Reset(request);
        std::string headers = ServerEndpoints::RangeHeader(first, last);
        if (!ifRange.empty()) headers += "If-Range: " + ifRange + "\r\n";
        if (cancel_->Adopt(request) && cancel_->Run(request, [&] {
                return HttpSendRequestA(request, headers.c_str(), static_cast<DWORD>(headers.size()), nullptr, 0);
            }))
            return true;
        const DWORD error = GetLastError();
        if (!cancel_->Cancelled()) HttpWidenSecurityFlags(request, error);
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

HttpRangeRequest::Read HttpRangeRequest::ReadSome(void* buffer, DWORD want, DWORD& got)
{
    got = 0;
    if (next_ != Read::Data) return std::exchange(next_, Read::Data);
    HINTERNET request = handles_.request.Get();
    if (!request) return Read::Failed;
    DWORD firstTick = 0;
    while (got < want) {
        // Waits (up to the receive time-out) until something has arrived.
        DWORD available = 0;
        Read outcome = Read::Data;
        DWORD n = 0;
        if (!cancel_->Run(request, [&] { return InternetQueryDataAvailable(request, &available, 0, 0); }))
            outcome = ReadFailed();
        else if (available == 0)
            outcome = Read::Ended;
        else if (!cancel_->Run(request, [&] {
                     return InternetReadFile(request, static_cast<char*>(buffer) + got, std::min(want - got, available),
                                             &n);
                 }))
            outcome = ReadFailed();
        else if (n == 0)
            outcome = Read::Ended;
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
    if (cancel_->Cancelled()) Close();
    return Read::Failed;
}

void HttpRangeRequest::DropRequest() { cancel_->Drop(handles_.request); }

void HttpRangeRequest::Close()
{
    next_ = Read::Data;
    DropRequest();
    HttpCloseHandles(&handles_);
    url_.clear();
}
