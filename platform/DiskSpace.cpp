#include "platform/DiskSpace.h"

bool FreeBytesOfFolder(const std::wstring& folder, uint64_t& bytes)
{
    ULARGE_INTEGER available = {};
    if (folder.empty() || !GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return false;
    bytes = available.QuadPart;
    return true;
}

bool AllocatedBytes(HANDLE file, uint64_t& bytes)
{
    FILE_STANDARD_INFO info = {};
    if (file == nullptr || file == INVALID_HANDLE_VALUE ||
        !GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info) || info.AllocationSize.QuadPart < 0)
        return false;
    bytes = static_cast<uint64_t>(info.AllocationSize.QuadPart);
    return true;
}

std::wstring FolderOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}
