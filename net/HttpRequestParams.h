#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/HttpReplyCallback.h"

// What HttpRequest does with the reply body.
enum HttpReplyMode {
    REPLY_STRING = 0,    // append it to *replyTarget
    REPLY_CALLBACK = 1,  // do not read it; call callback once
    REPLY_NONE = 3,      // send only, then fail
};

// How an https server's certificate is judged. Lenient ignores name and date
// errors, for hosts whose content is checked by other means (the package:
// signature, publisher, MD5). Full ignores nothing and never widens.
enum class CertificateChecks { Lenient, Full };

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
    CertificateChecks certificateChecks;
    // Where a failed send leaves its WinINet error (certificate errors
    // among them); untouched when the send succeeded. May be null.
    uint32_t* sendError;

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
        certificateChecks = CertificateChecks::Lenient;
        sendError = nullptr;
    }

    // The mode as the enum, undoing the sign of the two-bit field.
    HttpReplyMode ReplyMode() const { return static_cast<HttpReplyMode>(replyMode & 3); }
};
