#include "engine/RangeReply.h"

#include <cctype>
#include <cstdint>

namespace {
bool ReadNumber(const std::string& text, size_t& at, int64_t& value)
{
    size_t begin = at;
    value = 0;
    while (at < text.size() && isdigit(static_cast<unsigned char>(text[at]))) {
        if (value > (INT64_MAX - 9) / 10) return false;
        value = value * 10 + (text[at] - '0');
        ++at;
    }
    return at > begin;
}

void SkipSpaces(const std::string& text, size_t& at)
{
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
}
}  // namespace

bool RangeReply::ParseContentRange(const std::string& text, int64_t& first, int64_t& last, int64_t& complete)
{
    size_t at = 0;
    SkipSpaces(text, at);
    static const char unit[] = "bytes";
    for (const char* u = unit; *u != 0; ++u, ++at)
        if (at >= text.size() || tolower(static_cast<unsigned char>(text[at])) != *u) return false;
    if (at >= text.size() || (text[at] != ' ' && text[at] != '\t')) return false;
    SkipSpaces(text, at);
    if (!ReadNumber(text, at, first)) return false;
    if (at >= text.size() || text[at++] != '-') return false;
    if (!ReadNumber(text, at, last) || last < first) return false;
    if (at >= text.size() || text[at++] != '/') return false;
    if (at < text.size() && text[at] == '*') {
        complete = kUnknown;
        ++at;
    } else if (!ReadNumber(text, at, complete) || complete <= last) {
        return false;
    }
    SkipSpaces(text, at);
    return at == text.size();
}

namespace {
bool Sendable(const std::string& text)
{
    if (text.empty()) return false;
    for (char c : text)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

// Only values of the same kind on both sides tell versions apart.
bool Differ(const RangeReply::Validator& a, const RangeReply::Validator& b)
{
    if (!a.etag.empty() && !b.etag.empty()) return a.etag != b.etag;
    if (!a.lastModified.empty() && !b.lastModified.empty()) return a.lastModified != b.lastModified;
    return false;
}
}  // namespace

RangeReply::Verdict RangeReply::Check(const Reply& reply, int64_t first, int64_t last, int64_t totalSize,
                                      const Validator& kept, int64_t& usableLast)
{
    usableLast = kUnknown;
    if (first < 0 || last < first || last >= totalSize) return Verdict::Refuse;
    if ((reply.status == 200 || reply.status == 206) && Differ(reply.validator, kept)) return Verdict::Changed;
    if (reply.status == 206) {
        int64_t from = 0, to = 0, complete = 0;
        if (!ParseContentRange(reply.contentRange, from, to, complete) || from != first || complete != totalSize)
            return Verdict::Refuse;
        if (reply.contentLength != kUnknown && reply.contentLength != to - from + 1) return Verdict::Refuse;
        usableLast = to < last ? to : last;
        return Verdict::Use;
    }
    // Without a length the whole file's end cannot be told from a cut
    // connection, nor a captive portal's page from the package.
    if (reply.status == 200 && first == 0 && reply.contentLength == totalSize) {
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
