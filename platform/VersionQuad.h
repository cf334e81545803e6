#pragma once
#include <cstdint>
#include <string>

// A file or package version: major.minor.build.revision.
struct VersionQuad {
    int32_t major = 0;
    int32_t minor = 0;
    int32_t build = 0;
    int32_t revision = 0;

    bool operator==(const VersionQuad& o) const
    {
        return major == o.major && minor == o.minor && build == o.build && revision == o.revision;
    }
    bool operator!=(const VersionQuad& o) const { return !(*this == o); }
};

// "%d.%d.%d.%d"
std::string FormatVersion(const VersionQuad& v);

// Byte-by-byte comparison of two version texts, a proper prefix being the
// smaller. Deliberately not numeric: "1.10.0.0" is smaller than "1.9.0.0",
// which is how versions have always been ordered in the history and reports.
bool VersionTextGreater(const std::string& a, const std::string& b);

// Whether v is older than floor, part by part as numbers (so 2.10 is newer
// than 2.9, unlike the text comparison). A zero floor is none: false.
bool VersionBelowFloor(const VersionQuad& v, const VersionQuad& floor);

// Reads up to four parts of text as sscanf "%d.%d.%d.%d" would, into parts,
// and returns how many it read; -1, with parts untouched, when a part does
// not fit 32 bits (where sscanf's behaviour is undefined).
[[nodiscard]] int ScanVersion(const char* text, int32_t parts[4]);
