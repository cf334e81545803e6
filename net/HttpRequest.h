#pragma once
#include <cstdint>

#include "net/HttpClient.h"
#include "net/HttpHandles.h"

// Short, self-contained HTTP/1.0 exchanges over WinINet: each opens its own
// handles and closes them before it returns; nothing is retried here.

// Sends one GET (post false) or POST (post true) with params' headers,
// referrer and body. On success the three handles stay open in *handles.
[[nodiscard]] bool HttpSend(HttpRequestParams* params, const HttpProxyInfo* proxy, HttpHandles* handles,
                            const char* url, bool post);

// Sends the request and consumes the reply as params->replyMode says:
// REPLY_STRING appends the body to *replyTarget (not cleared first) and
// fails, without reading the rest, once it is longer than replyLimit;
// REPLY_CALLBACK calls the callback once with length 0 and does not read
// the body. The reply status is not examined: an error page is a reply.
// params is reset on every path.
[[nodiscard]] bool HttpRequest(HttpRequestParams* params, const HttpProxyInfo* proxy, bool post, uint32_t context,
                               const char* url);

// GETs url with the client's params and proxy and reads the resource's size
// without reading the body: the Content-Length of a 200, or the complete
// length in the Content-Range of a 206. Any other reply fails, an error
// page with its own Content-Length included, and so does a 200 that is an
// HTML page. *size is 0 unless it succeeded.
[[nodiscard]] bool HttpQueryContentLength(HttpClient* client, const char* url, uint64_t* size);

// GETs the first byte of url ("Range: bytes=0-0", through the client's proxy)
// and reads the complete length from the reply's Content-Range: only a 206
// will do, so a page that answers every request, ranged or not, with a 200
// never gives a size here. *size is 0 unless it succeeded.
[[nodiscard]] bool HttpQueryRangedLength(HttpClient* client, const char* url, uint64_t* size);
