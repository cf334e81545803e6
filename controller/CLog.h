#pragma once
#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/CLock.h"

// The controller's daily log: one stamped line per event, appended and
// flushed at once so that a crash loses nothing already written.
class CLog {
public:
    CLog() = default;
    virtual ~CLog();
    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;

    // Opens (or continues) the file at a UTF-8 path; any open stream is closed
    // first. Others may read and write the file while it is open.
    bool Open(const std::string& path);
    bool IsOpen();

    // "[%Y-%m-%d %H:%M:%S]\t" name "\t" message "\r\n". Silently does nothing
    // while no file is open.
    void Write(const char* name, const char* format, va_list args);

private:
    FILE* file_ = nullptr;
    CLock lock_;
};
