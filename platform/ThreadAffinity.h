#pragma once
#include <windows.h>

#include <atomic>

// Catches a call from a second thread into an object that one thread owns
// ("main thread only"). The first checked call binds the owner. One atomic
// compare, so the check stays on in every build, the tests' included.
class ThreadAffinity {
public:
    // True on the owning thread, binding it on the first call.
    bool OnOwnerThread()
    {
        const DWORD self = GetCurrentThreadId();
        DWORD expected = 0;
        return owner_.compare_exchange_strong(expected, self) || expected == self;
    }
    // Ends the process on any other thread: a race stopped here is cheaper
    // than the state it would corrupt.
    void Check()
    {
        if (!OnOwnerThread()) Violated();
    }

private:
    [[noreturn]] static void Violated();

    std::atomic<DWORD> owner_{0};
};
