#include "engine/CBreakpointCfg.h"

#include <cstring>

#include "platform/LogFailedCall.h"
#include "platform/ScopedLock.h"
#include "platform/TextConvert.h"
#include "platform/UniqueHandle.h"
#include "platform/UnlinkedFile.h"

namespace {
bool ReadExact(HANDLE file, void* buffer, DWORD size)
{
    DWORD got = 0;
    return ReadFile(file, buffer, size, &got, nullptr) && got == size;
}
}  // namespace

CBreakpointCfg* CBreakpointCfg::Instance()
{
    static CBreakpointCfg record;
    return &record;
}

CBreakpointCfg::CBreakpointCfg() = default;

CBreakpointCfg::~CBreakpointCfg()
{
    bool held = false, written = false;
    {
        ScopedLock hold(lock_);
        held = !data_.segments.empty();
        written = written_;
    }
    // A record written by this run for a later start (a retry) stays too.
    if (held)
        Save();
    else if (!written)
        RemoveRecordFile();
}

void CBreakpointCfg::SetTarget(const std::string& targetPath, int64_t totalSize)
{
    ScopedLock hold(lock_);
    if (recordPath_ != targetPath + ".cfg") written_ = false;
    targetPath_ = targetPath;
    recordPath_ = targetPath + ".cfg";
    data_.totalSize = totalSize;
}

std::string CBreakpointCfg::RecordPath()
{
    ScopedLock hold(lock_);
    return recordPath_;
}

bool CBreakpointCfg::Load(ResumeData& out) { return LoadFile(RecordPath(), out); }

bool CBreakpointCfg::LoadFile(const std::string& recordPath, ResumeData& out)
{
    const std::wstring path = Utf8ToWide(recordPath);
    if (path.empty()) return false;
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_ARCHIVE, nullptr));
    if (!file) return false;

    LARGE_INTEGER length = {};
    if (!GetFileSizeEx(file.Get(), &length)) return false;
    // The count in the header says how much is read; a count out of bounds,
    // or more than the file holds, is damage and nothing is allocated for it.
    std::vector<char> bytes(ResumeData::kHeaderSize);
    if (!ReadExact(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()))) return false;
    int32_t count = 0;
    memcpy(&count, bytes.data(), sizeof(count));
    if (count < 0 || count > ResumeData::kMaxSegments) return false;
    const size_t needed = ResumeData::kHeaderSize + static_cast<size_t>(count) * sizeof(ResumeSegment);
    if (length.QuadPart < static_cast<int64_t>(needed)) return false;
    bytes.resize(needed);
    const DWORD rest = static_cast<DWORD>(needed - ResumeData::kHeaderSize);
    if (rest > 0 && !ReadExact(file.Get(), bytes.data() + ResumeData::kHeaderSize, rest)) return false;
    return ResumeData::FromBytes(bytes.data(), bytes.size(), &out);
}

void CBreakpointCfg::AddSegment(ResumeSegment* segment)
{
    if (segment == nullptr) return;
    ScopedLock hold(lock_);
    data_.segments.emplace_back(segment);
    data_.count = static_cast<int32_t>(data_.segments.size());
}

void CBreakpointCfg::ClearSegments()
{
    ScopedLock hold(lock_);
    data_.segments.clear();
    data_.count = 0;
}

void CBreakpointCfg::SaveAndClearSegments()
{
    // One hold of the (re-entrant) lock: no segment slips in between.
    ScopedLock hold(lock_);
    if (data_.segments.empty()) return;
    Save();
    ClearSegments();
}

size_t CBreakpointCfg::SegmentCount()
{
    ScopedLock hold(lock_);
    return data_.segments.size();
}

std::vector<ResumeSegment> CBreakpointCfg::Segments()
{
    ScopedLock hold(lock_);
    std::vector<ResumeSegment> copies;
    for (const auto& s : data_.segments) copies.push_back(*s);
    return copies;
}

bool CBreakpointCfg::Save()
{
    std::string target, path;
    int64_t totalSize = 0;
    std::vector<ResumeSegment> segments;
    {
        ScopedLock hold(lock_);
        data_.count = static_cast<int32_t>(data_.segments.size());
        target = targetPath_;
        path = recordPath_;
        totalSize = data_.totalSize;
        for (const auto& s : data_.segments) segments.push_back(*s);
    }
    if (path.empty()) return false;
    // A record that cannot be replaced stays as it was: it describes bytes
    // that are on disk, only fewer of them. Without the target (renamed into
    // place already) there is nothing left to resume.
    const bool written = FlushTarget(target) && WriteRecordFile(path, totalSize, segments);
    ScopedLock hold(lock_);
    written_ = written;
    return written;
}

bool CBreakpointCfg::FlushTarget(const std::string& targetPath)
{
    const std::wstring path = Utf8ToWide(targetPath);
    if (path.empty()) return false;
    UniqueHandle data = OpenUnlinkedFile(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (!data) return false;
    if (FlushFileBuffers(data.Get())) return true;
    LOG_FAILED_CALL("FlushFileBuffers");
    return false;
}

bool CBreakpointCfg::WriteRecordFile(const std::string& recordPath, int64_t totalSize,
                                     const std::vector<ResumeSegment>& segments)
{
    const std::wstring path = Utf8ToWide(recordPath);
    if (path.empty()) return false;
    const std::vector<char> bytes = ResumeData::ToBytes(totalSize, segments);

    const std::wstring temp = path + L".new";
    bool written = false;
    {
        // Opened, not created: a planted link is refused before anything is truncated.
        UniqueHandle file = OpenUnlinkedFile(temp, GENERIC_WRITE, 0, OPEN_ALWAYS, FILE_ATTRIBUTE_ARCHIVE);
        if (!file) return false;
        DWORD put = 0;
        written = WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
                  put == bytes.size() && SetEndOfFile(file.Get()) && FlushFileBuffers(file.Get());
        if (!written) LOG_FAILED_CALL("WriteFile/FlushFileBuffers");
    }
    // A planted link at the record's name stays as it is: replacing it would
    // spare its target, but the name is not ours to take over.
    bool linked = false;
    OpenUnlinkedFile(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, 0, &linked);
    // A crash at any moment leaves either the old record or the new one.
    if (written && !linked) {
        if (MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        LOG_FAILED_CALL("MoveFileExW");
    }
    DeleteUnlinkedFile(temp);
    return false;
}

bool CBreakpointCfg::RemoveRecordFile()
{
    ScopedLock hold(lock_);
    if (recordPath_.empty()) return false;
    written_ = false;
    const std::wstring path = Utf8ToWide(recordPath_);
    return DeleteUnlinkedFile(path);
}
