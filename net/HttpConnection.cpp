#include "net/HttpConnection.h"

#include <urlmon.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The user-agent text of the URL-moniker layer; empty when it has none.
std::string HttpUserAgent()
{
    char agent[1024] = {};
    DWORD length = 0;
    if (FAILED(UrlMkGetSessionOption(URLMON_OPTION_USERAGENT, agent, sizeof(agent) - 1, &length, 0))) {
        return {};
    }
    agent[sizeof(agent) - 1] = '\0';
    return agent;
}

bool Usable(HINTERNET h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

bool SetTimeout(HINTERNET h, DWORD option, DWORD ms) { return InternetSetOptionA(h, option, &ms, sizeof(ms)) != FALSE; }

HINTERNET OpenInternet(const HttpProxyInfo* proxy, DWORD flags)
{
    std::string agent = HttpUserAgent();
    if (!proxy) {
        return INET_CALL(InternetOpenA)(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, flags);
    }
    char proxyText[512];
    std::snprintf(proxyText, sizeof(proxyText), "HTTP=HTTP://%s:%d", proxy->host.c_str(),
                  static_cast<int>(proxy->port));
    HINTERNET internet = INET_CALL(InternetOpenA)(agent.c_str(), INTERNET_OPEN_TYPE_PROXY, proxyText, nullptr, flags);
    if (Usable(internet)) {
        // A proxy that needs no credentials ignores them; nothing to check.
        InternetSetOptionA(internet, INTERNET_OPTION_USERNAME, const_cast<char*>(proxy->userName.c_str()),
                           static_cast<DWORD>(proxy->userName.size()));
        InternetSetOptionA(internet, INTERNET_OPTION_PASSWORD, const_cast<char*>(proxy->password.c_str()),
                           static_cast<DWORD>(proxy->password.size()));
    }
    return internet;
}

// WinINet takes the per-server connection limits only process-wide, on the
// NULL handle, and only before connections exist: set once, before the first.
bool SetProcessConnectionLimits()
{
    DWORD limit = kHttpMaxConnectionsPerServer;
    const bool perServer =
        InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &limit, sizeof(limit)) != FALSE;
    const bool per10Server =
        InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &limit, sizeof(limit)) != FALSE;
    return perServer && per10Server;
}

bool Fail(HttpHandles* handles)
{
    HttpCloseHandles(handles);
    return false;
}

}  // namespace

DWORD HttpRequestFlags(INTERNET_SCHEME scheme, CertificateChecks checks)
{
    if (scheme != INTERNET_SCHEME_HTTPS) return INTERNET_FLAG_RELOAD;
    // Without an IGNORE flag WinINet checks the name, the dates and the
    // chain, and revocation as the machine's Internet settings say.
    if (checks == CertificateChecks::Full) return INTERNET_FLAG_RELOAD | INTERNET_FLAG_SECURE;
    return INTERNET_FLAG_RELOAD | INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
           INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
}

bool HttpRaiseConnectionLimits()
{
    static const bool raised = SetProcessConnectionLimits();
    return raised;
}

bool HttpOpenConnection(const HttpProxyInfo* proxy, HttpHandles* handles, const char* url, HttpTarget* target,
                        CertificateChecks checks, INTERNET_STATUS_CALLBACK asyncCallback)
{
    if (!url || !handles || !target) return false;

    HttpRaiseConnectionLimits();
    HINTERNET internet = OpenInternet(proxy, asyncCallback != nullptr ? INTERNET_FLAG_ASYNC : 0);
    if (!Usable(internet)) return false;
    handles->internet.Reset(internet);
    // Set before the connection is made: its handles inherit the callback.
    if (asyncCallback != nullptr &&
        InternetSetStatusCallbackA(internet, asyncCallback) == INTERNET_INVALID_STATUS_CALLBACK)
        return Fail(handles);
    if (!SetTimeout(handles->internet.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, kHttpConnectTimeoutMs) ||
        !SetTimeout(handles->internet.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, kHttpReceiveTimeoutMs)) {
        return Fail(handles);
    }

    // Only host and path are asked for: with no extra-info buffer the query
    // text stays in the path.
    size_t urlLength = std::strlen(url);
    std::vector<char> host(urlLength + 1), path(urlLength + 1);
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    if (!InternetCrackUrlA(url, static_cast<DWORD>(urlLength), ICU_DECODE, &parts)) {
        return Fail(handles);
    }

    target->flags = HttpRequestFlags(parts.nScheme, checks);
    target->checks = checks;
    target->path.assign(path.data());
    HINTERNET connection = INET_CALL(InternetConnectA)(handles->internet.Get(), host.data(), parts.nPort, nullptr,
                                                       nullptr, INTERNET_SERVICE_HTTP, target->flags, 0);
    if (!Usable(connection)) return Fail(handles);
    handles->connection.Reset(connection);
    // Windows hands the Internet handle's time-outs down to its children;
    // Wine does not for the receive time-out, so the connection (whose
    // requests inherit from it on both) gets them as well.
    SetTimeout(handles->connection.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, kHttpConnectTimeoutMs);
    SetTimeout(handles->connection.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, kHttpReceiveTimeoutMs);
    return true;
}

bool HttpOpenAndSend(HttpHandles* handles, const HttpTarget& target, const char* verb, const char* version,
                     const char* referrer, const std::string& headers, const std::string& body)
{
    HINTERNET request = INET_CALL(HttpOpenRequestA)(handles->connection.Get(), verb, target.path.c_str(), version,
                                                    referrer, nullptr, target.flags, 0);
    if (!Usable(request)) return false;
    handles->request.Reset(request);
    void* data = body.empty() ? nullptr : const_cast<char*>(body.data());
    if (INET_CALL(HttpSendRequestA)(request, headers.empty() ? nullptr : headers.c_str(),
                                    static_cast<DWORD>(headers.size()), data, static_cast<DWORD>(body.size())))
        return true;
    const DWORD error = GetLastError();
    if (target.checks != CertificateChecks::Full) HttpWidenSecurityFlags(request, error);
    handles->request.Reset();
    SetLastError(error);
    return false;
}

bool HttpQueryNumber(HINTERNET request, DWORD what, DWORD& value)
{
    DWORD length = sizeof(value), index = 0;
    return HttpQueryInfoA(request, what | HTTP_QUERY_FLAG_NUMBER, &value, &length, &index) != FALSE;
}

std::string HttpQueryText(HINTERNET request, DWORD what)
{
    char text[256] = {};
    DWORD length = sizeof(text) - 1, index = 0;
    if (!HttpQueryInfoA(request, what, text, &length, &index)) return "";
    return std::string(text, strnlen(text, sizeof(text)));
}

void HttpWidenSecurityFlags(HINTERNET request, DWORD sendError)
{
    if (!request) return;
    if (sendError != ERROR_INTERNET_INVALID_CA && sendError != ERROR_INTERNET_SEC_CERT_REV_FAILED) return;
    DWORD flags = 0;
    DWORD size = sizeof(flags);
    if (!InternetQueryOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size)) return;
    flags |= SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_REVOCATION;
    InternetSetOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
}
