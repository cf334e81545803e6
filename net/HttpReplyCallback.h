#pragma once
#include <cstdint>

// Called by HttpRequest in REPLY_CALLBACK mode once the request was sent.
// data is the client's 4096-byte read buffer, length the count of valid
// bytes in it (always 0: the body is not read), reserved is always 0.
// The result is ignored.
typedef bool (*HttpReplyCallback)(uint32_t context, char* data, uint32_t length, void* userData, uint32_t reserved);
