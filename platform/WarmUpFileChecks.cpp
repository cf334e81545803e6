#include "platform/WarmUpFileChecks.h"

#include <windows.h>

#include "platform/IsFileTrusted.h"
#include "platform/TextConvert.h"

namespace {

void CheckOwnProgram()
{
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    // A signed program warms the whole path a signed package takes. The
    // version read needs no warming: it parses the file's bytes itself.
    static_cast<void>(IsFileTrusted(WideToUtf8(self)));
}

}  // namespace

void WarmUpFileChecks()
{
    // Once a process: a retried download finds the libraries ready already.
    static const bool warmed = (CheckOwnProgram(), true);
    static_cast<void>(warmed);
}
