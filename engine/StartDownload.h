#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

class CThreadsManager;

// Offsets in resume records and writes are 32-bit: files must stay below this.
constexpr int64_t kMaxDownloadSize = 2147483648LL;

// Hands one file to the engine (CDownloadRanges::Start): resumes from the
// record beside `path` when that record fits this download, otherwise splits
// the file into ranges, and queues their tasks with the manager's pump thread
// in one post. Returns at once; the outcome reaches the main window as events.
// The target file must exist at its full size. False when nothing was queued
// (no pump thread, a failed post, an empty URL, a size of 0 or of 2 GiB and
// more); a window is then told through EVENT_FAILED when the pump exists and
// the arguments were at fault.
[[nodiscard]] bool StartDownload(const char* url, const std::string& path, CThreadsManager* manager, int64_t totalSize,
                                 int32_t taskId, DWORD startTick);
