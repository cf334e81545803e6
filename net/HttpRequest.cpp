#include "net/HttpRequest.h"

#include "net/HttpConnection.h"
#include "net/ServerEndpoints.h"
#include "net/SizeReply.h"

namespace {

constexpr DWORD kReadPiece = 4096;

// The size of the resource a reply states (SizeReply); -1 for none.
int64_t StatedSize(HINTERNET request, bool rangedOnly)
{
    DWORD status = 0;
    if (!HttpQueryNumber(request, HTTP_QUERY_STATUS_CODE, status)) return -1;
    SizeReply reply;
    reply.status = status;
    reply.contentType = HttpQueryText(request, HTTP_QUERY_CONTENT_TYPE);
    reply.contentLength = HttpQueryText(request, HTTP_QUERY_CONTENT_LENGTH);
    reply.contentRange = HttpQueryText(request, HTTP_QUERY_CONTENT_RANGE);
    return reply.Size(rangedOnly);
}

bool QuerySize(HttpRequestParams* params, const HttpProxyInfo* proxy, const char* url, bool rangedOnly, uint64_t* size)
{
    HttpHandles handles;
    if (!HttpSend(params, proxy, &handles, url, false)) return false;
    const int64_t length = StatedSize(handles.request.Get(), rangedOnly);
    const bool ok = length >= 0;
    if (ok) *size = static_cast<uint64_t>(length);
    // Closing abandons the body the server has started to send.
    HttpCloseHandles(&handles);
    return ok;
}

bool Fail(HttpHandles* handles)
{
    HttpCloseHandles(handles);
    return false;
}

bool FailAndReset(HttpRequestParams* params, HttpHandles* handles)
{
    HttpCloseHandles(handles);
    if (params) params->Reset();
    return false;
}

}  // namespace

bool HttpSend(HttpRequestParams* params, const HttpProxyInfo* proxy, HttpHandles* handles, const char* url, bool post)
{
    if (!url || !handles) return false;

    static const HttpRequestParams kNoParams;
    const HttpRequestParams& p = params ? *params : kNoParams;
    HttpTarget target;
    if (!HttpOpenConnection(proxy, handles, url, &target, p.certificateChecks)) return false;

    if (!HttpOpenAndSend(handles, target, post ? "POST" : "GET", "HTTP/1.0", p.referrer.c_str(), p.extraHeaders,
                         p.body)) {
        if (p.sendError) *p.sendError = GetLastError();
        return Fail(handles);
    }
    // Any status will do, error pages included, but there must be one:
    // Wine reports a connection dropped before the reply as a sent request
    // whose reply has no status line (Windows fails the send itself).
    DWORD status = 0;
    if (!HttpQueryNumber(handles->request.Get(), HTTP_QUERY_STATUS_CODE, status) || status == 0) return Fail(handles);
    return true;
}

bool HttpRequest(HttpRequestParams* params, const HttpProxyInfo* proxy, bool post, uint32_t context, const char* url)
{
    if (!params) return false;
    HttpHandles handles;
    if (!url) return FailAndReset(params, &handles);
    if (!HttpSend(params, proxy, &handles, url, post)) return FailAndReset(params, &handles);

    char buffer[kReadPiece] = {};
    switch (params->ReplyMode()) {
    case REPLY_CALLBACK: {
        HttpReplyCallback callback = params->callback;
        void* userData = params->userData;
        if (!callback) return FailAndReset(params, &handles);
        params->Reset();
        // Only tells the caller that the request went out; the body is left unread.
        callback(context, buffer, 0, userData, 0);
        HttpCloseHandles(&handles);
        return true;
    }
    case REPLY_STRING: {
        std::string* target = params->replyTarget;
        const uint64_t limit = params->replyLimit;
        if (!target) return FailAndReset(params, &handles);
        params->Reset();
        // The clean end is a read that succeeds with zero bytes, whatever
        // stale code the thread's last error holds. A failed read ends the
        // exchange unless it carries no real error (0, or ERROR_NO_TOKEN
        // left behind by WinINet's own token checks).
        uint64_t received = 0;
        for (;;) {
            DWORD got = 0;
            if (!InternetReadFile(handles.request.Get(), buffer, kReadPiece, &got)) {
                DWORD error = GetLastError();
                if (error != ERROR_SUCCESS && error != ERROR_NO_TOKEN) return Fail(&handles);
                break;
            }
            if (got == 0) break;
            received += got;
            // Read no further than one piece past the limit.
            if (limit && received > limit) return Fail(&handles);
            target->append(buffer, got);
        }
        // WinINet reports a connection closed early as a clean end; a reply
        // shorter than its declared length is a broken one.
        DWORD declared = 0;
        if (HttpQueryNumber(handles.request.Get(), HTTP_QUERY_CONTENT_LENGTH, declared) && received < declared)
            return Fail(&handles);
        HttpCloseHandles(&handles);
        return true;
    }
    default: return FailAndReset(params, &handles);
    }
}

bool HttpQueryContentLength(HttpClient* client, const char* url, uint64_t* size)
{
    if (size) *size = 0;
    if (!url || !client || !size) return false;
    return QuerySize(&client->params, client->proxy.get(), url, false, size);
}

bool HttpQueryRangedLength(HttpClient* client, const char* url, uint64_t* size)
{
    if (size) *size = 0;
    if (!url || !client || !size) return false;
    // The client's own headers are left as they are.
    HttpRequestParams params;
    params.extraHeaders = ServerEndpoints::RangeHeader(0, 0);
    return QuerySize(&params, client->proxy.get(), url, true, size);
}
