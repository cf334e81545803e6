#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/ResumeData.h"
#include "platform/CLock.h"

// The resume record file beside the target (the target path followed by
// ".cfg") and the segments it is to hold: the unfinished ranges that the
// download's ranges (CDownloadRanges) hand over when the engine stops. They
// are written as soon as they are handed over, again by a restart (for the
// retry) and when the record is destroyed (process exit); with none held
// then, a leftover file that this run did not write is deleted.
//
// File: count (int32), total size (int64), count segments of 520 bytes.
class CBreakpointCfg {
public:
    static CBreakpointCfg* Instance();

    CBreakpointCfg();
    virtual ~CBreakpointCfg();
    CBreakpointCfg(const CBreakpointCfg&) = delete;
    CBreakpointCfg& operator=(const CBreakpointCfg&) = delete;

    // Names the download: the record file becomes targetPath + ".cfg".
    void SetTarget(const std::string& targetPath, int64_t totalSize);
    std::string RecordPath();

    // Reads the record file. False when it is missing or damaged: a count
    // below 0 or above ResumeData::kMaxSegments, or a file too short for it.
    // What follows the counted segments is ignored.
    [[nodiscard]] bool Load(ResumeData& out);
    // The same for any record file, without touching a record object.
    [[nodiscard]] static bool LoadFile(const std::string& recordPath, ResumeData& out);

    // Takes ownership; kept in arrival order.
    void AddSegment(ResumeSegment* segment);
    void ClearSegments();
    // With segments held: writes them to the record file, then clears them.
    // Nothing held leaves the file as it is.
    void SaveAndClearSegments();
    size_t SegmentCount();
    std::vector<ResumeSegment> Segments();

    // Flushes the target file, then writes the held segments to the record
    // file, replacing it: the record never claims bytes still in a cache. A
    // flush or write that fails leaves the record file as it was.
    bool Save();
    // Flushes what was written to the target file to the disk; false when
    // the file cannot be opened or flushed.
    [[nodiscard]] static bool FlushTarget(const std::string& targetPath);
    // Replaces a record file in one step: a temporary file beside it, flushed,
    // then moved over it. A failed write leaves the old record as it was.
    [[nodiscard]] static bool WriteRecordFile(const std::string& recordPath, int64_t totalSize,
                                              const std::vector<ResumeSegment>& segments);

    // Deletes the record file; true when there was one to delete.
    bool RemoveRecordFile();

private:
    CLock lock_;
    std::string targetPath_;
    std::string recordPath_;
    ResumeData data_;
    bool written_ = false;  // the file holds what this run saved last
};
