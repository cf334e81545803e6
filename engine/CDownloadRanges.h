#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/RangeBook.h"
#include "engine/RangeReply.h"
#include "platform/CLock.h"

class CDownloadTask;

// The one owner of the ranges of the download under way: it cuts a fresh
// download into ranges or takes them from the resume record, makes their
// tasks, knows where each range has reached on disk and where it ends, lets
// idle download threads split the one that would end last, writes the resume record
// while the download runs and, once the engine has stopped, hands what is
// still owed to the record. One process-wide instance; every call takes its
// lock alone.
class CDownloadRanges {
public:
    static CDownloadRanges* Instance();

    CDownloadRanges() = default;
    virtual ~CDownloadRanges() = default;
    CDownloadRanges(const CDownloadRanges&) = delete;
    CDownloadRanges& operator=(const CDownloadRanges&) = delete;

    // A new download, forgetting the one before: resumes from the record
    // beside `path` when it fits this download (the file of its full size),
    // otherwise deletes that record and cuts the file into one range per
    // processor (`processors` of them). The ranges' tasks go to the pump
    // thread in one post. False when that post failed: nothing was handed over.
    [[nodiscard]] bool Start(const std::string& url, const std::string& path, int64_t totalSize, int32_t taskId,
                             DWORD startTick, DWORD pump, unsigned processors);
    // Once the download threads have ended: every range not finished becomes
    // a segment of the resume record, which is written at once (the data
    // flushed first), and the ranges are forgotten.
    void Park();
    void Clear();

    void Advance(uint64_t id, int64_t position);
    [[nodiscard]] bool NextRequest(uint64_t id, int64_t position, int64_t bytesPerSecond, int64_t requestMs,
                                   int64_t& requestLast, int64_t& rangeLast);
    void Finish(uint64_t id);

    // A task for the upper part of the range that would end last; null when no range is
    // worth splitting. Then *soon (when given) tells whether one may be
    // shortly: a range just taken has not sent its first request yet.
    CDownloadTask* SplitLongest(bool* soon = nullptr);

    // Whether `received` is a validator shown to serve this download's
    // bytes: the first kept (from a usable reply, `mayKeep`) when there is
    // none yet, or one a comparison proved. Kept in memory only (the record's
    // format stays as it is), for this run and its resumed retries; the first
    // reply after a new start of the program gives it again.
    [[nodiscard]] bool KnowsValidator(const RangeReply::Validator& received, bool mayKeep);
    // The If-Range value for the download's next request; empty for none.
    // None once a second validator was proven: each node of a farm would
    // answer another node's validator with the whole file.
    std::string IfRange();

    // A comparison of served bytes with bytes on disk, one at a time for the
    // download. Go: `span` (at most maxBytes, the lowest on disk) may be
    // fetched and compared, and EndProbe must follow with `ticket`.
    enum class Probe { Go, Busy, NothingWritten };
    [[nodiscard]] Probe BeginProbe(int64_t maxBytes, RangeBook::Span& span, uint64_t& ticket);
    // sameBytes: the validator of a reply whose bytes matched the disk's, or
    // null. True when it was not known before, and now is.
    bool EndProbe(uint64_t ticket, const RangeReply::Validator* sameBytes);

    // The package on the server was replaced: what is on disk belongs to
    // another file. The record is deleted and no longer written, so the
    // next start fetches the file from scratch.
    void Discard();

    // A chunk of the download could not be written for want of space: logs,
    // once per download, what is still owed and what the volume has free.
    void DiskFull();

    // Rewrites the resume record from what is on disk: the ranges are read
    // first, the target file is flushed, then the record is replaced. False
    // when nothing was written; the next checkpoint tries again.
    bool Checkpoint();

private:
    struct Snapshot {
        std::string url;
        std::string path;
        int64_t totalSize = 0;
        std::vector<RangeBook::Span> remaining;
    };
    // What is owed right now; false when there is no download with bytes left.
    [[nodiscard]] bool Take(Snapshot& out);

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
    // Registers the ranges of a new download and makes their tasks.
    std::vector<std::unique_ptr<CDownloadTask>> Begin(const Download& d, const std::vector<RangeBook::Span>& spans,
                                                      bool resumed);
    static std::unique_ptr<CDownloadTask> MakeTask(const Download& d, const RangeBook::Span& span, uint64_t id);
    Download download_;
    // Of the download that began last, kept after it is parked.
    RangeReply::Validator validator_;
    // Others that served the same bytes (the nodes of a farm).
    std::vector<RangeReply::Validator> proven_;
    uint64_t probeTicket_ = 0;  // 0: no comparison under way
    uint64_t nextTicket_ = 1;
    std::string validatorPath_;
    int64_t validatorSize_ = 0;
    bool discarded_ = false;
    bool diskFullLogged_ = false;
};
