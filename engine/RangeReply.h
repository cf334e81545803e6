#pragma once
#include <cstdint>
#include <string>

// Whether the reply to a range request carries the bytes asked for. A 206
// must name `position` as its first byte and the file's size as its complete
// length; a 200 (the whole file) is usable only for a range that starts at 0,
// and only when its length, if given, is the file's size.
class RangeReply {
public:
    static constexpr int64_t kUnknown = -1;

    // "bytes FIRST-LAST/COMPLETE"; COMPLETE "*" gives kUnknown.
    [[nodiscard]] static bool ParseContentRange(const std::string& text, int64_t& first, int64_t& last,
                                                int64_t& complete);

    [[nodiscard]] static bool Acceptable(uint32_t status, const std::string& contentRange, int64_t contentLength,
                                         int64_t position, int64_t totalSize);
};
