#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>

// Progress of one download: the bytes of the file on disk so far. One
// accumulated instance per download lives in ResultList; every written chunk
// posts a short-lived one carrying its own byte count.
class CTaskResult {
public:
    CTaskResult(int32_t taskId, int64_t done, int64_t totalSize, DWORD startTick, int64_t baseBytes)
        : taskId(taskId), done(done), totalSize(totalSize), startTick(startTick), baseBytes(baseBytes)
    {}
    virtual ~CTaskResult() = default;

    int32_t GetTaskId() const { return taskId; }

    int32_t taskId;
    std::atomic<int64_t> done;  // written by the pump thread, read by the notifier
    int64_t totalSize;
    DWORD startTick;    // tick count when the download was handed over
    int64_t baseBytes;  // already on disk when this run began; not part of the speed
};
