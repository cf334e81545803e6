#pragma once
#include <cstddef>
#include <string>

#include "net/HttpReplyCallback.h"

// What HttpRequest does with the reply body.
enum HttpReplyMode {
    REPLY_STRING = 0,    // append it to *replyTarget
    REPLY_CALLBACK = 1,  // do not read it; call callback once
    REPLY_NONE = 3,      // send only, then fail
};

// The record a caller fills before each request. HttpRequest resets it
// whatever the outcome, so the reply mode and target are set again before
// every request.
struct HttpRequestParams {
    std::string extraHeaders;
    std::string referrer;
    std::string body;          // sent only when non-empty (a POST's form text)
    signed int replyMode : 2;  // an HttpReplyMode; REPLY_NONE reads back as -1
    std::string* replyTarget;
    size_t replyLimit;  // REPLY_STRING: a longer reply fails the request; 0: no limit
    HttpReplyCallback callback;
    void* userData;

    HttpRequestParams() { Reset(); }

    void Reset()
    {
        extraHeaders.clear();
        referrer.clear();
        body.clear();
        replyMode = REPLY_NONE;
        replyTarget = nullptr;
        replyLimit = 0;
        callback = nullptr;
        userData = nullptr;
    }

    // The mode as the enum, undoing the sign of the two-bit field.
    HttpReplyMode ReplyMode() const { return static_cast<HttpReplyMode>(replyMode & 3); }
};
