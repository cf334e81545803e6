#include "controller/PathUtil.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>

#include "platform/LogFailedCall.h"
#include "platform/TextConvert.h"
#include "platform/UniqueHandle.h"

std::string GetAppDataPath()
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return WideToUtf8(path);
}

std::string GetModulePath()
{
    // A long path must not come back empty: an empty folder would put the
    // program's files at the root of the drive.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) return WideToUtf8(path.substr(0, n));
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

std::string GetDirectoryPart(const std::string& path)
{
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool EnsureDirectory(const std::string& path)
{
    std::wstring wide = Utf8ToWide(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    if (CreateDirectoryW(wide.c_str(), nullptr)) return true;
    LOG_FAILED_CALL("CreateDirectoryW");
    return false;
}

std::string MakeAppDataFolder(const std::string& appData, const char* name)
{
    const std::string base = appData + "\\Quorvex";
    const std::string folder = base + "\\" + name;
    // Where they cannot be made, the files that go there are not written;
    // the failure is logged and nothing else depends on them.
    if (EnsureDirectory(base)) static_cast<void>(EnsureDirectory(folder));
    return folder;
}

std::string TodayStamp()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d%02d", now.wYear, now.wMonth, now.wDay);
    return text;
}

bool IsFilePresent(const std::string& path)
{
    if (path.empty()) return false;
    DWORD attributes = GetFileAttributesW(Utf8ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_ARCHIVE);
}

bool ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<char>* bytes)
{
    UniqueHandle file(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        LOG_FAILED_CALL("CreateFileW");
        return false;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size) || static_cast<ULONGLONG>(size.QuadPart) > maxBytes) return false;
    const DWORD length = static_cast<DWORD>(size.QuadPart);
    bytes->assign(length + 1, '\0');
    DWORD got = 0;
    return length == 0 || (ReadFile(file.Get(), bytes->data(), length, &got, nullptr) && got == length);
}
