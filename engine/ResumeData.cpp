#include "engine/ResumeData.h"

#include <algorithm>
#include <cstring>

int64_t ResumeData::RemainingBytes() const
{
    int64_t remaining = 0;
    for (const auto& s : segments) remaining += static_cast<int64_t>(s->end) - static_cast<int64_t>(s->start) + 1;
    return remaining;
}

namespace {
bool FieldEquals(const char (&field)[256], const std::string& text)
{
    size_t length = strnlen(field, sizeof(field));
    return length < sizeof(field) && text.size() == length && memcmp(field, text.data(), length) == 0;
}
}

bool ResumeData::Fits(const std::string& url, const std::string& path, int64_t expectedTotalSize) const
{
    if (count <= 0 || static_cast<size_t>(count) != segments.size()) return false;
    if (totalSize <= 0 || totalSize != expectedTotalSize) return false;

    std::vector<std::pair<int64_t, int64_t>> ranges;
    for (const auto& s : segments) {
        const int64_t start = s->start, end = s->end;
        if (end >= totalSize || start > end + 1) return false;
        if (!FieldEquals(s->url, url) || !FieldEquals(s->path, path)) return false;
        if (start <= end) ranges.emplace_back(start, end);
    }
    // Overlapping segments would count bytes twice and never reach the total.
    std::sort(ranges.begin(), ranges.end());
    for (size_t i = 1; i < ranges.size(); ++i)
        if (ranges[i].first <= ranges[i - 1].second) return false;
    return true;
}
