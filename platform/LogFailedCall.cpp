#include "platform/LogFailedCall.h"

#include <windows.h>

#include "platform/CLog.h"

void LogFailedCall(const char* place, const char* call)
{
    const DWORD error = GetLastError();
    // Only the file's own name: build folders differ from machine to machine.
    const char* name = place;
    for (const char* p = place; *p; ++p) {
        if (*p == '/' || *p == '\\') name = p + 1;
    }
    CLog::WriteShared(name, "%s failed, error %lu", call, static_cast<unsigned long>(error));
    SetLastError(error);
}
