#include "platform/VersionQuad.h"

#include <cctype>
#include <cstdio>

std::string FormatVersion(const VersionQuad& v)
{
    char text[128];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", v.major, v.minor, v.build, v.revision);
    return text;
}

bool VersionTextGreater(const std::string& a, const std::string& b)
{
    // std::string compares as unsigned bytes with a proper prefix smaller.
    return a.compare(b) > 0;
}

bool VersionBelowFloor(const VersionQuad& v, const VersionQuad& floor)
{
    if (floor == VersionQuad()) return false;
    const int32_t a[] = {v.major, v.minor, v.build, v.revision};
    const int32_t b[] = {floor.major, floor.minor, floor.build, floor.revision};
    for (int i = 0; i < 4; ++i) {
        if (a[i] != b[i]) return a[i] < b[i];
    }
    return false;
}

int ScanVersion(const char* text, int32_t parts[4])
{
    int32_t read[4];
    int n = 0;
    const char* p = text;
    while (p && n < 4) {
        if (n > 0) {
            if (*p != '.') break;
            ++p;
        }
        while (std::isspace(static_cast<unsigned char>(*p))) ++p;
        const bool negative = *p == '-';
        if (*p == '-' || *p == '+') ++p;
        if (!std::isdigit(static_cast<unsigned char>(*p))) break;
        int64_t value = 0;
        while (std::isdigit(static_cast<unsigned char>(*p))) {
            value = value * 10 + (*p++ - '0');
            if (value > INT64_C(2147483648)) return -1;
        }
        if (negative) value = -value;
        if (value > INT32_MAX) return -1;
        read[n++] = static_cast<int32_t>(value);
    }
    for (int i = 0; i < n; ++i) parts[i] = read[i];
    return n;
}
