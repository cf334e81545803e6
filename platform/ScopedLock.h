#pragma once
#include "platform/CLock.h"

// Holds a CLock for the lifetime of a block.
class ScopedLock {
public:
    explicit ScopedLock(CLock& lock) : lock_(lock) { lock_.Enter(); }
    ~ScopedLock() { lock_.Leave(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CLock& lock_;
};
