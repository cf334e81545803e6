#pragma once
#include <cstdint>
#include <string>

// One unfinished range, as held in memory, posted to the pump and stored in
// the resume file: 520 bytes, numbers little-endian.
#pragma pack(push, 1)
struct ResumeSegment {
    uint32_t start = 0;   // first byte not yet fetched
    uint32_t end = 0;     // last byte of the range, inclusive
    char url[256] = {};   // zero-terminated
    char path[256] = {};  // UTF-8, zero-terminated

    // Null when the URL or the path does not fit its field: a cut-off name
    // would resume into the wrong file.
    static ResumeSegment* Make(uint32_t start, uint32_t end, const std::string& url, const std::string& path);
};
#pragma pack(pop)

static_assert(sizeof(ResumeSegment) == 520, "ResumeSegment is stored byte for byte");
