#pragma once

// Logs a failed Win32 call with its GetLastError code to the shared log, as
// "<call> failed, error <code>" under the place that made it, and leaves the
// last error as it found it, so a caller may still look at it.
void LogFailedCall(const char* place, const char* call);

// The place is the file and line of the call.
#define LOG_FAILED_CALL(call) LogFailedCall(__FILE__ ":" QUORVEX_LINE_TEXT(__LINE__), call)
#define QUORVEX_LINE_TEXT(line) QUORVEX_LINE_TEXT_(line)
#define QUORVEX_LINE_TEXT_(line) #line
