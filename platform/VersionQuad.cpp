#include "platform/VersionQuad.h"

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
