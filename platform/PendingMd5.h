#pragma once
#include <atomic>
#include <string>

#include "platform/UniqueHandle.h"
#include "platform/WorkerCall.h"

class HeldFile;

// The MD5 of a held file, taken on a thread of its own from construction, so
// that it overlaps the other checks that read the file. It reads through a
// handle of its own to the same file, so the held handle's file pointer is
// left to those checks; that handle blocks deletion until Cancel().
class PendingMd5 {
public:
    explicit PendingMd5(const HeldFile& file);
    ~PendingMd5() { Cancel(); }
    PendingMd5(const PendingMd5&) = delete;
    PendingMd5& operator=(const PendingMd5&) = delete;

    // The lower-case digest; empty when the file could not be read.
    const std::string& Wait();
    // Stops the hashing and closes the handle, so the file can be deleted.
    void Cancel();

private:
    UniqueHandle file_;
    std::atomic<bool> cancel_{false};
    std::string digest_;
    WorkerCall worker_;  // last: it starts once the members above are made
};
