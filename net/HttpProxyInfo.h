#pragma once
#include <cstdint>
#include <string>

// An explicit HTTP proxy. Without one, requests use the system's own
// Internet settings.
struct HttpProxyInfo {
    std::string host;
    int32_t port = 0;
    std::string userName;
    std::string password;
};
