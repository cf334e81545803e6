#pragma once
#include <cstdint>
#include <string>

// What a reply to a GET of the package says of the package's size.
struct SizeReply {
    uint32_t status = 0;
    std::string contentType;    // empty when absent
    std::string contentLength;  // as sent; empty when absent
    std::string contentRange;   // as sent; empty when absent

    // The complete length in the Content-Range of a 206, or, unless
    // `rangedOnly`, the Content-Length of a 200 that is not an HTML page
    // (a captive portal answers 200 with its sign-in page, length and all).
    // -1 for anything else: an error page, a redirect not followed, a length
    // not stated.
    [[nodiscard]] int64_t Size(bool rangedOnly) const;
};
