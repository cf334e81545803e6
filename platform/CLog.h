#pragma once
#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/CLock.h"

// The installer's daily log: one stamped line per event, appended and
// flushed at once so that a crash loses nothing already written.
class CLog {
public:
    CLog() = default;
    virtual ~CLog();
    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;

    // Opens (or continues) the file at a UTF-8 path; any open stream is closed
    // first. Others may read and write the file while it is open.
    [[nodiscard]] bool Open(const std::string& path);
    // Lines written afterwards are dropped.
    void Close();

    // "[%Y-%m-%d %H:%M:%S]\t" name "\t" message "\r\n". Silently does nothing
    // while no file is open.
    void Write(const char* name, const char* format, va_list args);
    void Line(const char* name, const char* format, ...) __attribute__((format(gnu_printf, 3, 4)));

    // The log that code without one of its own writes to (failed system
    // calls of every layer): set by its owner while it is open. Writing and
    // replacing it take one process-wide lock, so an owner that clears it
    // before destroying its log never races a line.
    static void SetShared(CLog* log);
    // Clears the shared log if it is `log`.
    static void ReleaseShared(const CLog* log);
    static void WriteShared(const char* name, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));

private:
    FILE* file_ = nullptr;
    CLock lock_;
};
