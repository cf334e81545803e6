#pragma once
#include <memory>

#include "net/HttpProxyInfo.h"
#include "net/HttpRequestParams.h"

// One exchange, or one series of retries: an optional proxy and the request
// record, owned together.
struct HttpClient {
    std::unique_ptr<HttpProxyInfo> proxy;  // null: the system's settings
    HttpRequestParams params;
};
