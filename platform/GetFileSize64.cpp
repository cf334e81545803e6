#include "platform/GetFileSize64.h"

#include <windows.h>

#include "platform/UniqueHandle.h"

uint64_t GetFileSize64(const std::wstring& path)
{
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size)) return 0;
    return static_cast<uint64_t>(size.QuadPart);
}
