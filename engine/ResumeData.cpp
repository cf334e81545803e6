#include "engine/ResumeData.h"

#include <algorithm>
#include <cstring>

bool ResumeData::FromBytes(const void* bytes, size_t length, ResumeData* out)
{
    if (length < kHeaderSize) return false;
    const char* at = static_cast<const char*>(bytes);
    int32_t count = 0;
    int64_t totalSize = 0;
    memcpy(&count, at, sizeof(count));
    memcpy(&totalSize, at + 4, sizeof(totalSize));
    // A save over a longer record leaves that record's tail behind the new
    // segments: it is legal and ignored.
    if (count < 0 || count > kMaxSegments ||
        (length - kHeaderSize) / sizeof(ResumeSegment) < static_cast<size_t>(count))
        return false;

    ResumeData data;
    data.count = count;
    data.totalSize = totalSize;
    at += kHeaderSize;
    for (int32_t i = 0; i < count; ++i, at += sizeof(ResumeSegment)) {
        auto segment = std::make_unique<ResumeSegment>();
        memcpy(segment.get(), at, sizeof(ResumeSegment));
        data.segments.push_back(std::move(segment));
    }
    *out = std::move(data);
    return true;
}

std::vector<char> ResumeData::ToBytes() const
{
    std::vector<ResumeSegment> copies;
    for (const auto& s : segments) copies.push_back(*s);
    return ToBytes(totalSize, copies);
}

std::vector<char> ResumeData::ToBytes(int64_t totalSize, const std::vector<ResumeSegment>& segments)
{
    const int32_t count = static_cast<int32_t>(segments.size());
    std::vector<char> bytes(kHeaderSize + segments.size() * sizeof(ResumeSegment));
    memcpy(bytes.data(), &count, 4);
    memcpy(bytes.data() + 4, &totalSize, 8);
    if (!segments.empty()) memcpy(bytes.data() + kHeaderSize, segments.data(), segments.size() * sizeof(ResumeSegment));
    return bytes;
}

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
}  // namespace

bool ResumeData::Fits(const std::string& path, int64_t expectedTotalSize) const
{
    if (count <= 0 || static_cast<size_t>(count) != segments.size()) return false;
    if (totalSize <= 0 || totalSize != expectedTotalSize) return false;

    std::vector<std::pair<int64_t, int64_t>> ranges;
    for (const auto& s : segments) {
        const int64_t start = s->start, end = s->end;
        if (end >= totalSize || start > end + 1) return false;
        if (!FieldEquals(s->path, path)) return false;
        if (start <= end) ranges.emplace_back(start, end);
    }
    // Overlapping segments would count bytes twice and never reach the total.
    std::sort(ranges.begin(), ranges.end());
    for (size_t i = 1; i < ranges.size(); ++i)
        if (ranges[i].first <= ranges[i - 1].second) return false;
    return true;
}
