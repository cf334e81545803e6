#pragma once
#include <windows.h>
#include <wininet.h>

// The three WinINet handles of one request; each is null when closed.
// Whatever is still open when the record goes is closed then.
struct HttpHandles {
    HINTERNET internet = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;

    HttpHandles() = default;
    ~HttpHandles();
    HttpHandles(const HttpHandles&) = delete;
    HttpHandles& operator=(const HttpHandles&) = delete;
};

// Closes the request, then the connection, then the Internet handle (those
// that are open) and nulls them. Returns the result of closing the Internet
// handle: false when it was already closed.
bool HttpCloseHandles(HttpHandles* handles);
