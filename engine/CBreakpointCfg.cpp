#include "engine/CBreakpointCfg.h"

#include <cstring>

#include "platform/ScopedLock.h"
#include "platform/TextConvert.h"
#include "platform/UniqueHandle.h"

namespace {
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
    bool held = false;
    {
        ScopedLock hold(lock_);
        held = !data_.segments.empty();
    }
    if (held) Save();
    else RemoveRecordFile();
}

void CBreakpointCfg::SetTarget(const std::string& targetPath, int64_t totalSize)
{
    ScopedLock hold(lock_);
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
    // The count in the header says how long the file must be; anything else
    // is damaged and is not read into memory.
    std::vector<char> bytes(ResumeData::kHeaderSize);
    if (!ReadExact(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()))) return false;
    int32_t count = 0;
    memcpy(&count, bytes.data(), sizeof(count));
    if (count < 0 || length.QuadPart != static_cast<int64_t>(ResumeData::kHeaderSize) +
                                            static_cast<int64_t>(count) * static_cast<int64_t>(sizeof(ResumeSegment)) ||
        length.QuadPart > MAXDWORD)
        return false;
    bytes.resize(static_cast<size_t>(length.QuadPart));
    const DWORD rest = static_cast<DWORD>(bytes.size() - ResumeData::kHeaderSize);
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
    const std::vector<char> bytes = data_.ToBytes();

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
    return written;
}

bool CBreakpointCfg::RemoveRecordFile()
{
    ScopedLock hold(lock_);
    if (recordPath_.empty()) return false;
    const std::wstring path = Utf8ToWide(recordPath_);
    return !path.empty() && DeleteFileW(path.c_str()) != FALSE;
}
