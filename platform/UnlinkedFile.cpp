#include "platform/UnlinkedFile.h"

bool IsLinkedFile(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    // A device has no links to follow; a disk file that cannot be examined is refused.
    if (!GetFileInformationByHandle(file, &info)) return GetFileType(file) == FILE_TYPE_DISK;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || info.nNumberOfLinks > 1;
}

UniqueHandle OpenUnlinkedFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                              bool* linked)
{
    if (linked) *linked = false;
    if (path.empty()) return UniqueHandle();
    UniqueHandle file(CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, share, nullptr, disposition,
                                  flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file && IsLinkedFile(file.Get())) {
        if (linked) *linked = true;
        file.Reset();
    }
    return file;
}

bool DeleteUnlinkedFile(const std::wstring& path, bool* linked)
{
    UniqueHandle file = OpenUnlinkedFile(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         OPEN_EXISTING, 0, linked);
    if (!file) return false;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(file.Get(), FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}
