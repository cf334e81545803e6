#include "engine/ServedBytes.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "net/HttpRangeRequest.h"
#include "platform/TextConvert.h"
#include "platform/UniqueHandle.h"
#include "platform/UnlinkedFile.h"

namespace {
bool ReadAt(HANDLE file, int64_t offset, char* out, DWORD size)
{
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD got = 0;
    return ReadFile(file, out, size, &got, &at) && got == size;
}
}  // namespace

RangeReply::Reply ReplyOf(const HttpRangeRequest& http, DWORD status)
{
    RangeReply::Reply reply;
    reply.status = status;
    reply.contentRange = http.ContentRange();
    reply.contentLength = http.ContentLength();
    reply.validator = RangeReply::Received(http.ETag(), http.LastModified());
    reply.contentType = http.ContentType();
    return reply;
}

ServedBytes CompareServedBytes(HttpRangeRequest& http, const HttpProxyInfo* proxy, const std::string& url,
                               const std::string& path, const RangeBook::Span& span, int64_t totalSize,
                               RangeReply::Validator& served)
{
    bool linked = false;
    const std::wstring widePath = Utf8ToWide(path);
    UniqueHandle file;
    if (!widePath.empty())
        file = OpenUnlinkedFile(widePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                OPEN_EXISTING, 0, &linked);
    if (!file) return !linked && GetLastError() == ERROR_SHARING_VIOLATION ? ServedBytes::Stalled : ServedBytes::Failed;

    if (!http.Send(proxy, url, span.first, span.last)) return ServedBytes::Failed;
    DWORD status = 0;
    if (!http.Status(status)) return ServedBytes::Failed;
    const RangeReply::Reply reply = ReplyOf(http, status);
    served = reply.validator;
    int64_t last = 0;
    if (RangeReply::Check(reply, span.first, span.last, totalSize, true, last) != RangeReply::Verdict::Use)
        return ServedBytes::Failed;

    // Compared as the bytes come: one that differs settles it even when the
    // rest never arrives.
    std::vector<char> got(static_cast<size_t>(last - span.first + 1));
    std::vector<char> held(got.size());
    int64_t position = span.first;
    while (position <= last) {
        const DWORD want = static_cast<DWORD>(last + 1 - position);
        DWORD n = 0;
        switch (http.ReadSome(got.data(), want, n)) {
        case HttpRangeRequest::Read::Data: break;
        case HttpRangeRequest::Read::TimedOut: return ServedBytes::Stalled;
        case HttpRangeRequest::Read::Ended:
        case HttpRangeRequest::Read::Failed: return ServedBytes::Failed;
        }
        if (!ReadAt(file.Get(), position, held.data(), n)) return ServedBytes::Failed;
        if (std::memcmp(got.data(), held.data(), n) != 0) return ServedBytes::Differ;
        position += n;
    }
    return ServedBytes::Same;
}
