#include "controller/DownloadHistory.h"

#include <windows.h>

#include <vector>

#include "controller/HistoryText.h"
#include "controller/PathUtil.h"
#include "platform/LogFailedCall.h"
#include "platform/TextConvert.h"
#include "platform/UniqueHandle.h"

namespace {

// The parsed tree takes many times the text; a 32-bit process has 2 GiB in
// all, and a real history is a few hundred bytes.
constexpr size_t kMaxHistoryBytes = 1024 * 1024;

}  // namespace

void DownloadHistory::SetFolder(const std::string& appDataFolder)
{
    folder_ = MakeAppDataFolder(appDataFolder, "Downloader");
}

void DownloadHistory::Load()
{
    std::string path = FilePath();
    if (!IsFilePresent(path)) {
        // Without a file the history is still kept in memory: the next new
        // version tries again.
        static_cast<void>(WriteFile(PrintHistoryText(items_)));
        return;
    }
    std::vector<char> text;
    if (!ReadWholeFile(path, kMaxHistoryBytes, &text)) return;
    // A damaged history loads as no entries: it must not keep the installer from starting.
    if (!ParseHistoryText(text.data(), &items_)) items_.clear();
}

bool DownloadHistory::Add(const std::string& version, const std::string& md5)
{
    if (!items_.emplace(version, std::make_pair(version, md5)).second) return false;
    return WriteFile(PrintHistoryText(items_));
}

bool DownloadHistory::WriteFile(const std::string& text) const
{
    // The new text goes to a file beside the old one, which it then replaces,
    // so a failed write never costs the history already on disk.
    std::wstring target = Utf8ToWide(FilePath());
    std::wstring temp = target + L".new";
    {
        UniqueHandle file(
            CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr));
        if (!file) {
            LOG_FAILED_CALL("CreateFileW");
            return false;
        }
        DWORD written = 0;
        bool ok = ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                  written == text.size() && FlushFileBuffers(file.Get());
        if (!ok) {
            LOG_FAILED_CALL("WriteFile");
            file.Reset();
            DeleteFileW(temp.c_str());
            return false;
        }
    }
    if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        LOG_FAILED_CALL("MoveFileExW");
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}
