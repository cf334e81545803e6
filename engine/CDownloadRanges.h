#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/RangeBook.h"
#include "platform/CLock.h"

class CDownloadTask;

// The ranges of the download under way, shared by its range tasks: where each
// has reached on disk and where it ends. Idle download threads take work from
// here by splitting the largest range, and the resume record is taken from
// here while the download runs. One process-wide instance; every call takes
// its lock alone.
class CDownloadRanges {
public:
    static CDownloadRanges* Instance();

    CDownloadRanges() = default;
    virtual ~CDownloadRanges() = default;
    CDownloadRanges(const CDownloadRanges&) = delete;
    CDownloadRanges& operator=(const CDownloadRanges&) = delete;

    // A new download: forgets the ranges of the one before.
    void Begin(const std::string& url, const std::string& path, int64_t totalSize, int32_t taskId, DWORD startTick,
               int64_t baseBytes, DWORD notifyThreadId);
    void Clear();

    uint64_t Add(int64_t first, int64_t last);
    void Advance(uint64_t id, int64_t position);
    bool End(uint64_t id, int64_t& last);
    bool NextRequest(uint64_t id, int64_t position, int64_t bytesPerSecond, int64_t requestMs, int64_t& requestLast,
                     int64_t& rangeLast);
    void Finish(uint64_t id);

    // A task for the upper part of the largest range; null when no range is
    // worth splitting.
    CDownloadTask* SplitLargest();

    struct Snapshot {
        std::string url;
        std::string path;
        int64_t totalSize = 0;
        std::vector<RangeBook::Span> remaining;
    };
    // What is owed right now; false when there is no download with bytes left.
    bool Take(Snapshot& out);

    // Rewrites the resume record from what is on disk: the ranges are read
    // first, the target file is flushed, then the record is replaced.
    bool Checkpoint();

private:
    CLock lock_;
    RangeBook book_;
    // What a task split off the download needs to know of it.
    struct Download {
        std::string url;
        std::string path;  // empty: no download
        int64_t totalSize = 0;
        int32_t taskId = 0;
        DWORD startTick = 0;
        int64_t baseBytes = 0;
        DWORD notifyThreadId = 0;
    };
    Download download_;
};
