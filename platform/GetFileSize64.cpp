#include "platform/GetFileSize64.h"

#include <windows.h>

#include "platform/LogFailedCall.h"
#include "platform/UniqueHandle.h"

uint64_t GetFileSize64(const std::wstring& path)
{
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        LOG_FAILED_CALL("CreateFileW");
        return 0;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size)) {
        LOG_FAILED_CALL("GetFileSizeEx");
        return 0;
    }
    return static_cast<uint64_t>(size.QuadPart);
}
