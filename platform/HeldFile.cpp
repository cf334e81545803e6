#include "platform/HeldFile.h"

#include "platform/LogFailedCall.h"
#include "platform/TextConvert.h"
#include "platform/UnlinkedFile.h"

HeldFile::HeldFile(const std::string& path) : path_(path)
{
    // No write and no delete sharing: a rename or a delete opens the file for
    // deletion, and replacing it opens the name's file for deletion too.
    const std::wstring widePath = Utf8ToWide(path);
    if (widePath.empty()) return;
    file_ = OpenUnlinkedFile(widePath, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, &linked_);
    error_ = file_ ? ERROR_SUCCESS : GetLastError();
}

bool HeldFile::Rewind() const
{
    LARGE_INTEGER start = {};
    return Held() && SetFilePointerEx(file_.Get(), start, nullptr, FILE_BEGIN) != FALSE;
}

UniqueHandle HeldFile::Reopen() const
{
    if (!Held()) return UniqueHandle();
    UniqueHandle own(ReOpenFile(file_.Get(), GENERIC_READ, FILE_SHARE_READ, 0));
    if (!own) LOG_FAILED_CALL("ReOpenFile");
    return own;
}

void HeldFile::Release()
{
    file_.Reset();
    linked_ = false;
    error_ = ERROR_INVALID_HANDLE;
}
