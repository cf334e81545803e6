#pragma once
#include <windows.h>
#include <wininet.h>

// The WinINet calls that open, use and close handles. A test build goes
// through this table, so a test can count every handle; the product calls
// WinINet directly.
struct InternetCalls {
    decltype(&::InternetOpenA) InternetOpenA = ::InternetOpenA;
    decltype(&::InternetConnectA) InternetConnectA = ::InternetConnectA;
    decltype(&::HttpOpenRequestA) HttpOpenRequestA = ::HttpOpenRequestA;
    decltype(&::HttpSendRequestA) HttpSendRequestA = ::HttpSendRequestA;
    decltype(&::InternetQueryDataAvailable) InternetQueryDataAvailable = ::InternetQueryDataAvailable;
    decltype(&::InternetReadFile) InternetReadFile = ::InternetReadFile;
    decltype(&::InternetCloseHandle) InternetCloseHandle = ::InternetCloseHandle;

#ifdef QUORVEX_INTERNET_SEAM
    // Replaced only while no request is open.
    static InternetCalls& Table();
#endif
};

#ifdef QUORVEX_INTERNET_SEAM
#define INET_CALL(name) (InternetCalls::Table().name)
#else
#define INET_CALL(name) (::name)
#endif
