#include "platform/CLog.h"

#include <share.h>
#include <windows.h>

#include "platform/ScopedLock.h"
#include "platform/TextConvert.h"

namespace {

// Both are reached through functions: lines may come while statics of other
// files are still being made.
CLock& SharedLock()
{
    static CLock lock;
    return lock;
}

CLog*& Shared()
{
    static CLog* log = nullptr;
    return log;
}

}  // namespace

CLog::~CLog()
{
    ReleaseShared(this);
    Close();
}

bool CLog::Open(const std::string& path)
{
    ScopedLock guard(lock_);
    if (file_) std::fclose(file_);
    file_ = _wfsopen(Utf8ToWide(path).c_str(), L"ab+", _SH_DENYNO);
    return file_ != nullptr;
}

void CLog::Close()
{
    ScopedLock guard(lock_);
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

void CLog::Line(const char* name, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Write(name, format, args);
    va_end(args);
}

void CLog::SetShared(CLog* log)
{
    ScopedLock guard(SharedLock());
    Shared() = log;
}

void CLog::ReleaseShared(const CLog* log)
{
    ScopedLock guard(SharedLock());
    if (Shared() == log) Shared() = nullptr;
}

void CLog::WriteShared(const char* name, const char* format, ...)
{
    ScopedLock guard(SharedLock());
    if (!Shared()) return;
    va_list args;
    va_start(args, format);
    Shared()->Write(name, format, args);
    va_end(args);
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
