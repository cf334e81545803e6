#include "engine/RangeReply.h"

#include <cstdint>

#include "net/ContentRange.h"
#include "net/ContentType.h"

namespace {
bool Sendable(const std::string& text)
{
    if (text.empty()) return false;
    for (char c : text)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}
}  // namespace

bool RangeReply::SameVersion(const Validator& a, const Validator& b)
{
    if (!a.etag.empty() && !b.etag.empty()) return a.etag == b.etag;
    if (!a.lastModified.empty() && !b.lastModified.empty()) return a.lastModified == b.lastModified;
    return true;
}

RangeReply::Verdict RangeReply::Check(const Reply& reply, int64_t first, int64_t last, int64_t totalSize, bool known,
                                      int64_t& usableLast)
{
    usableLast = kUnknown;
    if (first < 0 || last < first || last >= totalSize) return Verdict::Refuse;
    // A page is never the package, whatever validators it carries: a captive
    // portal's sign-in page says nothing of the package.
    if (reply.status == 200 && IsHtmlContentType(reply.contentType)) return Verdict::Refuse;
    if (reply.status == 206) {
        int64_t from = 0, to = 0, complete = 0;
        if (!ParseContentRange(reply.contentRange, from, to, complete) || from != first || complete != totalSize)
            return Verdict::Refuse;
        if (reply.contentLength != kUnknown && reply.contentLength != to - from + 1) return Verdict::Refuse;
        if (!known) return Verdict::Unproven;
        usableLast = to < last ? to : last;
        return Verdict::Use;
    }
    // Without a length the whole file's end cannot be told from a cut
    // connection, nor a captive portal's page from the package.
    if (reply.status == 200 && reply.contentLength == totalSize) {
        if (!known) return Verdict::Unproven;
        if (first != 0) return Verdict::Refuse;
        usableLast = last;
        return Verdict::Use;
    }
    return Verdict::Refuse;
}

RangeReply::Validator RangeReply::Received(const std::string& etag, const std::string& lastModified)
{
    return Validator{Sendable(etag) ? etag : std::string(), Sendable(lastModified) ? lastModified : std::string()};
}

std::string RangeReply::IfRange(const Validator& kept)
{
    if (!kept.etag.empty() && kept.etag.compare(0, 2, "W/") != 0) return kept.etag;
    return kept.lastModified;
}
