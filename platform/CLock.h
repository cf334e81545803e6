#pragma once
#include <windows.h>

// A critical section owned by the object it guards.
class CLock {
public:
    CLock() { InitializeCriticalSection(&cs_); }
    virtual ~CLock() { DeleteCriticalSection(&cs_); }
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

    void Enter() { EnterCriticalSection(&cs_); }
    void Leave() { LeaveCriticalSection(&cs_); }

private:
    CRITICAL_SECTION cs_;
};
