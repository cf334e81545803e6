#include "net/ContentRange.h"

#include <cctype>

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

bool ParseContentRange(const std::string& text, int64_t& first, int64_t& last, int64_t& complete)
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
        complete = kUnknownCompleteLength;
        ++at;
    } else if (!ReadNumber(text, at, complete) || complete <= last) {
        return false;
    }
    SkipSpaces(text, at);
    return at == text.size();
}
