#include "controller/PackageFiles.h"

#include <windows.h>

#include <algorithm>

#include "controller/PathUtil.h"
#include "engine/CBreakpointCfg.h"
#include "engine/ResumeData.h"
#include "engine/ResumeSegment.h"
#include "engine/StartDownload.h"
#include "platform/CLog.h"
#include "platform/DiskSpace.h"
#include "platform/GetFileSize64.h"
#include "platform/LogFailedCall.h"
#include "platform/TextConvert.h"
#include "platform/UnlinkedFile.h"

namespace {

constexpr int kRenameAttempts = 20;
constexpr DWORD kRenamePauseMs = 100;

bool NameExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

PackageFiles::PackageFiles(CLog& log, const std::string& programFolder, const std::string& siteId)
    : log_(log), programFolder_(programFolder), siteId_(siteId)
{}

std::string PackageFiles::PackagePath() const
{
    if (programFolder_.empty()) return {};
    return programFolder_ + "\\TzGameSetup_" + siteId_ + ".exe";
}

std::string PackageFiles::TempPath(const VersionQuad& newest) const
{
    if (programFolder_.empty()) return {};
    return programFolder_ + "\\TzGameSetup" + FormatVersion(newest) + ".tmp";
}

HeldFile PackageFiles::HoldPackage(const char* place)
{
    const std::string path = PackagePath();
    for (int attempt = 1;; ++attempt) {
        HeldFile package(path);
        if (package.Held()) return package;
        if (package.Linked()) {
            LogLinkedFile(path);
            return package;
        }
        // A handle of the engine or of a scanner may still be on the file for a moment.
        if (package.Error() != ERROR_SHARING_VIOLATION || attempt >= kRenameAttempts) {
            log_.Line(place, "package not held, error %lu: %s", package.Error(), path.c_str());
            return package;
        }
        Sleep(kRenamePauseMs);
    }
}

bool PackageFiles::Remove(const std::string& path)
{
    bool linked = false;
    if (DeleteUnlinkedFile(Utf8ToWide(path), &linked)) return true;
    if (linked) LogLinkedFile(path);
    return false;
}

void PackageFiles::LogLinkedFile(const std::string& path)
{
    log_.Line("CDownloader::LinkedFile", "a link, left alone: %s", path.c_str());
}

bool PackageFiles::Rename(const std::string& temp)
{
    const std::string final = PackagePath();
    const std::wstring wideTemp = Utf8ToWide(temp);
    bool linked = false;
    static_cast<void>(OpenUnlinkedFile(wideTemp, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       OPEN_EXISTING, 0, &linked));
    if (linked) {
        // Moved, it would make the package another file's name; the checks
        // judge what is there, and nothing of ours is kept under that name.
        LogLinkedFile(temp);
        return true;
    }
    if (IsFilePresent(temp) && IsFilePresent(final)) {
        log_.Line("CDownloader::Rename", "file exists: %s", Utf8ToAnsi(temp).c_str());
        Remove(final);
    }
    const std::wstring wideFinal = Utf8ToWide(final);
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(wideTemp.c_str(), wideFinal.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        // A handle of the engine or of a scanner may still be on the file for a moment.
        const DWORD error = GetLastError();
        const bool held =
            error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
        if (!held || attempt >= kRenameAttempts) break;
        Sleep(kRenamePauseMs);
    }
    // Failed: with no temporary file nothing was lost; otherwise it stays.
    if (!NameExists(wideTemp)) return true;
    LOG_FAILED_CALL("MoveFileExW");
    return false;
}

void PackageFiles::KeepFinishedDownload(const std::string& temp, const std::string& url)
{
    const int64_t size = static_cast<int64_t>(GetFileSize64(Utf8ToWide(temp)));
    if (size <= 0 || size >= kMaxDownloadSize) return;
    // One range with nothing owed: resuming it asks for no byte.
    ResumeSegment* done = ResumeSegment::Make(static_cast<uint32_t>(size), static_cast<uint32_t>(size - 1), url, temp);
    if (!done) return;
    CBreakpointCfg* record = CBreakpointCfg::Instance();
    record->SetTarget(temp, size);
    record->ClearSegments();
    record->AddSegment(done);
    // Written now, and again at exit unless a new start takes it first.
    static_cast<void>(record->Save());
}

bool PackageFiles::LacksSpace(uint64_t size, const std::wstring& tempPath, uint64_t& needed, uint64_t& available)
{
    needed = size;
    available = 0;
    if (!FreeBytesOfFolder(Utf8ToWide(programFolder_), available)) {
        LOG_FAILED_CALL("GetDiskFreeSpaceExW");
        return false;
    }
    // What the temporary file takes already is the download's either way:
    // kept for a resume (all of it on NTFS, where the file was preallocated),
    // or freed when the file is made anew.
    bool linked = false;
    UniqueHandle file =
        OpenUnlinkedFile(tempPath, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         OPEN_EXISTING, 0, &linked);
    uint64_t held = 0;
    if (file && AllocatedBytes(file.Get(), held)) needed = size - std::min(held, size);
    return needed > available;
}

bool PackageFiles::PrepareTempFile(uint64_t size, const std::wstring& tempPath, DWORD* error)
{
    if (error) *error = ERROR_SUCCESS;
    // Opened rather than created: a planted link is refused before anything is truncated.
    bool linked = false;
    UniqueHandle file = OpenUnlinkedFile(tempPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_ARCHIVE, &linked);
    if (linked) LogLinkedFile(WideToUtf8(tempPath));
    if (!file) {
        if (error) *error = linked ? ERROR_ACCESS_DENIED : GetLastError();
        if (!linked) LOG_FAILED_CALL("CreateFileW");
        return false;
    }
    LARGE_INTEGER current = {};
    const std::wstring record = tempPath + L".cfg";
    if (NameExists(record)) {
        // The engine resumes into the partly written file, but only a file
        // of the download's size can take its ranges.
        if (GetFileSizeEx(file.Get(), &current) && static_cast<uint64_t>(current.QuadPart) == size) return true;
        if (!Remove(WideToUtf8(record)) && NameExists(record)) return false;
    }
    LARGE_INTEGER start = {}, end = {};
    end.QuadPart = static_cast<LONGLONG>(size);
    if (SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN) && SetEndOfFile(file.Get()) &&
        SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.Get()))
        return true;
    if (error) *error = GetLastError();
    LOG_FAILED_CALL("SetEndOfFile");
    return false;
}

int64_t PackageFiles::RecordedSize(const std::wstring& tempPath) const
{
    ResumeData data;
    if (!CBreakpointCfg::LoadFile(WideToUtf8(tempPath + L".cfg"), data) || data.count <= 0) return -1;
    return data.totalSize;
}
