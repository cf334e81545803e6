#pragma once
#include <windows.h>
#include <wininet.h>

#include <string>

#include "net/HttpHandles.h"
#include "net/HttpProxyInfo.h"
#include "net/HttpRequestParams.h"

// Give up a connection attempt after this long, and a read after this long
// without data.
constexpr DWORD kHttpConnectTimeoutMs = 2000;
constexpr DWORD kHttpReceiveTimeoutMs = 1000;
// Connections to one server at a time; the ranges of a download run in parallel.
constexpr DWORD kHttpMaxConnectionsPerServer = 80;

// Where a connection leads: the path to request (with its query text) and
// the flags for opening requests on it.
struct HttpTarget {
    std::string path;
    DWORD flags = 0;
    CertificateChecks checks = CertificateChecks::Lenient;
};

// Request flags for a URL scheme: HTTPS adds the secure flag and, unless the
// checks are full, ignores certificate name and date errors; everything else
// is a plain reload.
DWORD HttpRequestFlags(INTERNET_SCHEME scheme, CertificateChecks checks = CertificateChecks::Lenient);

// Raises WinINet's per-server connection limits for the whole process, on
// the first call only; true when they are in force.
bool HttpRaiseConnectionLimits();

// The steps every request shares, plain or ranged: the process-wide
// connection limits (once), the Internet handle
// (through the proxy when one is given), the time-outs, the URL split and
// the connection. On success handles->internet and handles->connection are
// open and *target is filled. On failure whatever was opened is closed.
// With asyncCallback the session is asynchronous (INTERNET_FLAG_ASYNC) and
// its handles report to that callback.
[[nodiscard]] bool HttpOpenConnection(const HttpProxyInfo* proxy, HttpHandles* handles, const char* url,
                                      HttpTarget* target, CertificateChecks checks = CertificateChecks::Lenient,
                                      INTERNET_STATUS_CALLBACK asyncCallback = nullptr);

// Opens a request on the open connection (version "HTTP/1.0" or "HTTP/1.1";
// referrer null for none) and sends it with `headers` (lines ending in CRLF;
// may be empty) and `body`. A send that fails with a certificate error
// widens the request's security flags first, unless the target's checks are
// full. On failure the request handle is closed, the connection stays open,
// and the thread's last error is the send's.
[[nodiscard]] bool HttpOpenAndSend(HttpHandles* handles, const HttpTarget& target, const char* verb,
                                   const char* version, const char* referrer, const std::string& headers,
                                   const std::string& body);

// A numeric field of the reply (HTTP_QUERY_STATUS_CODE, _CONTENT_LENGTH, …),
// read into a 4-byte buffer: Wine rejects a larger one for numeric queries.
[[nodiscard]] bool HttpQueryNumber(HINTERNET request, DWORD what, DWORD& value);
// A text field of the reply, at most 255 bytes; empty when it has none.
std::string HttpQueryText(HINTERNET request, DWORD what);

// After a send failed with an unknown CA (12045) or a failed revocation
// check (12057): widen the request's security flags so that the error is
// not fatal to a later send on this handle. Other errors are left alone.
void HttpWidenSecurityFlags(HINTERNET request, DWORD sendError);
