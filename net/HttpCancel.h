#pragma once
#include <windows.h>
#include <wininet.h>

#include "net/HttpHandles.h"
#include "platform/CLock.h"

// Lets another thread end the blocking WinINet calls that one thread makes on
// its request. WinINet ends a blocking call when the handle it uses is closed
// from another thread; a handle closed just before a call, or closed twice,
// is not safe. So the request is handed over under a lock: the canceller
// closes it only while a blocking call on it is under way, the owner never
// starts a call once a cancel came, and whichever side takes it closes it,
// once. One request at a time.
class HttpCancel {
public:
    HttpCancel() = default;
    HttpCancel(const HttpCancel&) = delete;
    HttpCancel& operator=(const HttpCancel&) = delete;

    // The owner's side. Takes charge of a request just opened; false when a
    // cancel came first (the caller still owns it).
    [[nodiscard]] bool Adopt(HINTERNET request);
    // Makes one blocking call on the adopted request. False, with the last
    // error ERROR_INTERNET_OPERATION_CANCELLED, when a cancel came before it
    // or closed the request during it.
    template <class Call>
    [[nodiscard]] bool Run(HINTERNET request, Call call)
    {
        if (!Enter(request)) {
            SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
            return false;
        }
        const bool done = call() != FALSE;
        const DWORD error = GetLastError();
        if (!Leave()) {
            SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
            return false;
        }
        SetLastError(error);
        return done;
    }
    // Lets the request go: closed here unless the canceller closed it.
    void Drop(UniqueInternetHandle& request);

    // The canceller's side. From now on no blocking call starts.
    void Cancel();
    // Closes the request if a blocking call on it is under way.
    void CloseBusy();
    [[nodiscard]] bool Cancelled();

private:
    [[nodiscard]] bool Enter(HINTERNET request);
    // False when the request was closed during the call.
    [[nodiscard]] bool Leave();

    CLock lock_;
    HINTERNET held_ = nullptr;    // adopted and open
    HINTERNET closed_ = nullptr;  // adopted and closed by the canceller
    bool busy_ = false;
    bool cancelled_ = false;
};
