#include "support/TestFiles.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "platform/TextConvert.h"
#include "platform/UniqueHandle.h"
#include "support/Wait.h"

namespace {

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

}  // namespace

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    wchar_t base[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH, base);
    std::wstring root = n ? std::wstring(base, n) : L"C:\\";
    if (root.back() == L'\\') root.pop_back();
    for (;;) {
        std::wstring candidate = root + L"\\qvx-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(counter++) + L"-" + std::to_wstring(GetTickCount());
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            path_ = WideToUtf8(candidate);
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) return;
    }
}

TempDir::~TempDir()
{
    if (!path_.empty()) RemoveTree(Utf8ToWide(path_));
}

std::string TempDir::File(const std::string& name) const { return path_ + "\\" + name; }

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    UniqueHandle file(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        if (!WriteFile(file.Get(), bytes.data() + done, piece, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

std::string ReadFileBytes(const std::string& path)
{
    UniqueHandle file(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!file) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
    return bytes;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesW(Utf8ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CopyFileTo(const std::string& from, const std::string& to)
{
    return CopyFileW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(), FALSE) != FALSE;
}

bool WaitForFile(const std::string& path, unsigned timeoutMs)
{
    return WaitFor([&] { return FileExists(path); }, timeoutMs);
}

std::string PatternBytes(size_t size, unsigned pattern)
{
    std::string bytes(size, '\0');
    uint32_t x = pattern * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = static_cast<char>(x >> 24);
    }
    return bytes;
}
