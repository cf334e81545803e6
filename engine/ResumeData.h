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

    // Bytes the segments still owe.
    int64_t RemainingBytes() const;

    // Whether the record can resume this download: segments within the file,
    // none overlapping another, start <= end + 1, the same total size and
    // every segment naming this URL and path.
    bool Fits(const std::string& url, const std::string& path, int64_t expectedTotalSize) const;
};
