#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/RangeBook.h"
#include "engine/RangeReply.h"
#include "net/HttpProxyInfo.h"

class HttpRangeRequest;

// Whether the server now serves the bytes of `span` that the file at `path`
// already holds. Asked without If-Range, so any node answers with its bytes.
enum class ServedBytes {
    Same,     // every byte matched; `served` is the reply's validator
    Differ,   // a byte that arrived differs from the file's
    Stalled,  // no verdict yet: a stall, or the file held a moment
    Failed,   // no usable reply, or the file cannot be read
};
// The parts of the last reply to `http` that RangeReply judges.
RangeReply::Reply ReplyOf(const HttpRangeRequest& http, DWORD status);
ServedBytes CompareServedBytes(HttpRangeRequest& http, const HttpProxyInfo* proxy, const std::string& url,
                               const std::string& path, const RangeBook::Span& span, int64_t totalSize,
                               RangeReply::Validator& served);
