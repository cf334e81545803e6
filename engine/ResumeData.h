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
    // segments of 520 bytes, little-endian, and any tail, which is ignored.
    // False for a count below 0 or above kMaxSegments, or a length short of
    // that many segments; `out` is then untouched.
    [[nodiscard]] static bool FromBytes(const void* bytes, size_t length, ResumeData* out);
    // The same form for the held segments (the count written is theirs).
    std::vector<char> ToBytes() const;
    static std::vector<char> ToBytes(int64_t totalSize, const std::vector<ResumeSegment>& segments);

    static constexpr size_t kHeaderSize = 12;
    // Far more than any download has ranges; a larger count is damage, and
    // is refused before anything is allocated for it.
    static constexpr int32_t kMaxSegments = 4096;

    // Bytes the segments still owe.
    int64_t RemainingBytes() const;

    // Whether the record can resume this download: segments within the file,
    // none overlapping another, start <= end + 1, the same total size and
    // every segment naming this path. The URL may differ (a CDN's token
    // changes per request): the download goes on from the current one, and
    // the trust and MD5 checks still judge what arrives.
    bool Fits(const std::string& path, int64_t expectedTotalSize) const;
};
