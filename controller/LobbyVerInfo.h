#pragma once
#include <cstdint>
#include <string>

#include "platform/VersionQuad.h"

// The configuration server's answer: which package is current for the site.
struct LobbyVerInfo {
    int32_t siteNumber = 0;  // the site id as the server echoes it
    VersionQuad newest;      // version of the offered package
    int32_t updateTime = 0;
    int32_t upStyle = 0;  // 1 exact, 2 exact or user's choice, 3 revision ignored
    std::string url;      // where the package is downloaded from
    std::string md5;      // hexadecimal digest, compared without regard to case
    std::string updateDesc;
};
