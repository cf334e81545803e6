#include "platform/Md5OfFile.h"

#include <windows.h>

#include <vector>

#include "platform/CSMd5.h"
#include "platform/HeldFile.h"
#include "platform/TextConvert.h"
#include "platform/UniqueHandle.h"

int32_t Md5OfFile(const std::string& path, std::string* out)
{
    if (path.empty() || !out) return -1;
    const std::wstring widePath = Utf8ToWide(path);
    DWORD attributes = GetFileAttributesW(widePath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_ARCHIVE)) return -1;

    // Shared as the C runtime's "rb" shares it: others may go on reading and writing.
    const UniqueHandle file(CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return -2;
    return Md5OfHandle(file.Get(), out);
}

int32_t Md5OfFile(const HeldFile& file, std::string* out)
{
    if (!out || !file.Rewind()) return -2;
    return Md5OfHandle(file.Handle(), out);
}

int32_t Md5OfHandle(HANDLE file, std::string* out, const std::atomic<bool>* cancel)
{
    if (!out) return -2;
    CSMd5 md5;
    std::vector<char> piece(256 * 1024);
    for (;;) {
        DWORD got = 0;
        if ((cancel && cancel->load()) ||
            !ReadFile(file, piece.data(), static_cast<DWORD>(piece.size()), &got, nullptr))
            return -2;
        if (got == 0) break;
        md5.Update(piece.data(), got);
    }
    *out = md5.HexDigest();
    return 0;
}
