#include "net/HttpRangeRequest.h"

#include "net/ServerEndpoints.h"

bool HttpRangeRequest::Send(const HttpProxyInfo* proxy, const std::string& url, int64_t first, int64_t last)
{
    handles_.request.Reset();
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
    if (HttpOpenAndSend(&handles_, target_, "GET", "HTTP/1.1", nullptr, ServerEndpoints::RangeHeader(first, last), ""))
        return true;
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

HttpRangeRequest::Read HttpRangeRequest::ReadSome(void* buffer, DWORD want, DWORD& got)
{
    got = 0;
    if (!handles_.request) return Read::Failed;
    if (!InternetReadFile(handles_.request.Get(), buffer, want, &got)) {
        // Wine reports the receive time-out as the socket's WSAETIMEDOUT.
        const DWORD error = GetLastError();
        return error == ERROR_INTERNET_TIMEOUT || error == WSAETIMEDOUT ? Read::TimedOut : Read::Failed;
    }
    return got > 0 ? Read::Data : Read::Ended;
}

void HttpRangeRequest::Close()
{
    HttpCloseHandles(&handles_);
    url_.clear();
}
