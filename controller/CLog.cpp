#include "controller/CLog.h"

#include <share.h>
#include <windows.h>

#include "platform/ScopedLock.h"
#include "platform/TextConvert.h"

CLog::~CLog()
{
    ScopedLock guard(lock_);
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

bool CLog::Open(const std::string& path)
{
    ScopedLock guard(lock_);
    if (file_) std::fclose(file_);
    file_ = _wfsopen(Utf8ToWide(path).c_str(), L"ab+", _SH_DENYNO);
    return file_ != nullptr;
}

bool CLog::IsOpen()
{
    ScopedLock guard(lock_);
    return file_ != nullptr;
}

void CLog::Write(const char* name, const char* format, va_list args)
{
    if (!name || !format) return;

    // The message is formatted before the lock is taken; only the stamp and
    // the write of the whole line happen under it.
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) return;
    std::string message(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(&message[0], message.size(), format, args);
    message.resize(static_cast<size_t>(length));

    ScopedLock guard(lock_);
    if (!file_) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[128];
    std::snprintf(stamp, sizeof stamp, "[%04d-%02d-%02d %02d:%02d:%02d]\t", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    std::string line = stamp;
    line += name;
    line += '\t';
    line += message;
    line += "\r\n";
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
}
