#include "engine/CIOTask.h"

#include <cstring>

#include "engine/CTaskResult.h"
#include "engine/ThreadMessages.h"
#include "platform/OwnedPost.h"

CIOTask::CIOTask(HANDLE file, const void* chunk, uint32_t length, uint32_t offset, int32_t taskId, int64_t totalSize,
                 const std::string& path, DWORD startTick, int64_t baseBytes)
    : ITask(taskId), length_(length), offset_(offset), file_(file), totalSize_(totalSize), path_(path),
      baseBytes_(baseBytes), startTick_(startTick)
{
    if (chunk != nullptr && length > 0) {
        data_.reset(new char[length]);
        memcpy(data_.get(), chunk, length);
    } else {
        length_ = 0;
    }
}

CIOTask::~CIOTask() = default;

bool CIOTask::Run()
{
    if (file_ == nullptr || file_ == INVALID_HANDLE_VALUE) return true;
    // Written again when its count could not be posted: the same bytes at
    // the same offset, counted once.
    return Write() && PostCount(notifyThreadId_, taskId_, length_, totalSize_, startTick_, baseBytes_);
}

bool CIOTask::Write()
{
    if (file_ == nullptr || file_ == INVALID_HANDLE_VALUE) return false;

    // A short completion (a volume filling up under Wine) is followed by the
    // rest, so a failure always comes with the error that caused it.
    uint32_t done = 0;
    while (done < length_) {
        OVERLAPPED overlapped = {};
        overlapped.Offset = offset_ + done;
        overlapped.OffsetHigh = 0;
        if (!WriteFile(file_, data_.get() + done, length_ - done, nullptr, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING)
            return false;
        DWORD written = 0;
        if (!GetOverlappedResult(file_, &overlapped, &written, TRUE)) return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        done += written;
    }
    return true;
}

bool CIOTask::PostCount(DWORD pump, int32_t taskId, uint32_t bytes, int64_t totalSize, DWORD startTick,
                        int64_t baseBytes)
{
    auto result = std::make_unique<CTaskResult>(taskId, bytes, totalSize, startTick, baseBytes);
    return PostOwned(pump, TM_TASK_RESULT, result, static_cast<LPARAM>(bytes));
}
