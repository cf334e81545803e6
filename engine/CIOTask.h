#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "engine/ITask.h"

// Writes one received chunk into the target file at its offset, then posts
// the bytes written to the pump thread as a TM_TASK_RESULT.
class CIOTask : public ITask {
public:
    // The chunk is copied. The file handle is the range task's (overlapped),
    // not owned; null when that task has closed it.
    CIOTask(HANDLE file, const void* chunk, uint32_t length, uint32_t offset, int32_t taskId, int64_t totalSize,
            const std::string& path, DWORD startTick, int64_t baseBytes);
    ~CIOTask() override;

    // True when the chunk was written and its count posted, or there was no
    // file; false when the write or the post failed (run it again).
    bool Run() override;
    // Only the write, for a caller that records it before counting it. On
    // false, GetLastError tells why.
    [[nodiscard]] bool Write();

    // Posts `bytes` of a download as a TM_TASK_RESULT to thread `pump`.
    // False when the post failed: the bytes are still owed to the count.
    [[nodiscard]] static bool PostCount(DWORD pump, int32_t taskId, uint32_t bytes, int64_t totalSize, DWORD startTick,
                                        int64_t baseBytes);

private:
    uint32_t length_;
    uint32_t offset_;
    std::unique_ptr<char[]> data_;
    HANDLE file_;
    int64_t totalSize_;
    std::string path_;
    int64_t baseBytes_;
    DWORD startTick_;
};
