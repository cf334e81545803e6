#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class CThreadsManager;
struct ResumeData;

// A byte range, both ends inclusive.
struct ByteRange {
    int64_t first;
    int64_t last;
    bool operator==(const ByteRange& o) const { return first == o.first && last == o.last; }
};

// Offsets in resume records and writes are 32-bit: files must stay below this.
constexpr int64_t kMaxDownloadSize = 2147483648LL;

// Hands one file to the engine: resumes from the record beside `path` when
// that record fits this download, otherwise splits the file into ranges, and
// queues one range task per range with the manager's pump thread. Returns at
// once; the outcome reaches the main window as events. The target file must
// exist at its full size. False when nothing could be queued (no pump thread,
// an empty URL, a size of 0 or of 2 GiB and more); a window is then told
// through EVENT_FAILED when the pump exists.
bool StartDownload(const char* url, const std::string& path, CThreadsManager* manager, int64_t totalSize,
                   int32_t taskId, DWORD startTick);

// Fresh download: one range per processor, in 4096-byte blocks, the last range
// taking the remainder; one block per range when there are fewer blocks than
// processors.
std::vector<ByteRange> SplitRanges(int64_t totalSize, unsigned processorCount);

bool SplitDownload(CThreadsManager* manager, const std::string& url, int64_t totalSize, int32_t taskId,
                   const std::string& path, DWORD startTick);
bool ResumeDownload(const ResumeData& data, CThreadsManager* manager, int32_t taskId, DWORD startTick);
