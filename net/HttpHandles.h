#pragma once
#include <windows.h>
#include <wininet.h>

#include "net/InternetCalls.h"
#include "platform/UniqueAny.h"

// A WinINet handle (session, connection or request).
struct InternetHandleTraits : NullHandleTraits<HINTERNET> {
    static void Close(HINTERNET h) { INET_CALL(InternetCloseHandle)(h); }
};
using UniqueInternetHandle = UniqueAny<InternetHandleTraits>;

// The three WinINet handles of one request. Members go in reverse order, so
// whatever is still open when the record goes closes request first.
struct HttpHandles {
    UniqueInternetHandle internet;
    UniqueInternetHandle connection;
    UniqueInternetHandle request;
};

// Closes the request, then the connection, then the Internet handle (those
// that are open). Returns the result of closing the Internet handle: false
// when it was already closed.
bool HttpCloseHandles(HttpHandles* handles);
