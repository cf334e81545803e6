#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/ResumeSegment.h"

// The contents of a resume file.
struct ResumeData {
    int32_t count = 0;
    int64_t totalSize = 0;
    std::vector<std::unique_ptr<ResumeSegment>> segments;

    // The bytes of a resume file: count (int32), total size (int64), count
    // segments of 520 bytes, little-endian. False for a negative count or a
    // length that is not exactly that many segments; `out` is then untouched.
    [[nodiscard]] static bool FromBytes(const void* bytes, size_t length, ResumeData* out);
    // The same form for the held segments (the count written is theirs).
    std::vector<char> ToBytes() const;
    static std::vector<char> ToBytes(int64_t totalSize, const std::vector<ResumeSegment>& segments);

    static constexpr size_t kHeaderSize = 12;

    // Bytes the segments still owe.
    int64_t RemainingBytes() const;

    // Whether the record can resume this download: segments within the file,
    // none overlapping another, start <= end + 1, the same total size and
    // every segment naming this URL and path.
    bool Fits(const std::string& url, const std::string& path, int64_t expectedTotalSize) const;
};
