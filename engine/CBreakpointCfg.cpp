#include "engine/CBreakpointCfg.h"

#include <cstring>

#include "platform/ScopedLock.h"
#include "platform/TextConvert.h"
#include "platform/UniqueHandle.h"

namespace {
constexpr DWORD kHeaderSize = 12;

bool ReadExact(HANDLE file, void* buffer, DWORD size)
{
    DWORD got = 0;
    return ReadFile(file, buffer, size, &got, nullptr) && got == size;
}
}

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
    if (held) Save();
    else if (!written) RemoveRecordFile();
}

void CBreakpointCfg::SetTarget(const std::string& targetPath, int64_t totalSize)
{
    ScopedLock hold(lock_);
    if (recordPath_ != targetPath + ".cfg") written_ = false;
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
    int32_t count = 0;
    int64_t totalSize = 0;
    if (!ReadExact(file.Get(), &count, sizeof(count)) || !ReadExact(file.Get(), &totalSize, sizeof(totalSize)))
        return false;
    if (count < 0 || length.QuadPart != kHeaderSize + static_cast<int64_t>(count) * sizeof(ResumeSegment))
        return false;

    ResumeData data;
    data.count = count;
    data.totalSize = totalSize;
    for (int32_t i = 0; i < count; ++i) {
        auto segment = std::make_unique<ResumeSegment>();
        if (!ReadExact(file.Get(), segment.get(), sizeof(ResumeSegment))) return false;
        data.segments.push_back(std::move(segment));
    }
    out = std::move(data);
    return true;
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
    ScopedLock hold(lock_);
    const std::wstring path = Utf8ToWide(recordPath_);
    if (path.empty()) return false;

    data_.count = static_cast<int32_t>(data_.segments.size());
    std::vector<char> bytes(kHeaderSize + data_.segments.size() * sizeof(ResumeSegment));
    memcpy(bytes.data(), &data_.count, 4);
    memcpy(bytes.data() + 4, &data_.totalSize, 8);
    char* at = bytes.data() + kHeaderSize;
    for (const auto& s : data_.segments) {
        memcpy(at, s.get(), sizeof(ResumeSegment));
        at += sizeof(ResumeSegment);
    }

    bool written = false;
    {
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr));
        if (!file) return false;
        DWORD put = 0;
        // Truncated after writing: a stale tail from a longer record would make
        // the file's length disagree with its count.
        written = WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
                  put == bytes.size() && SetEndOfFile(file.Get()) && FlushFileBuffers(file.Get());
    }
    if (!written) DeleteFileW(path.c_str());
    written_ = written;
    return written;
}

bool CBreakpointCfg::RemoveRecordFile()
{
    ScopedLock hold(lock_);
    if (recordPath_.empty()) return false;
    written_ = false;
    const std::wstring path = Utf8ToWide(recordPath_);
    return !path.empty() && DeleteFileW(path.c_str()) != FALSE;
}
