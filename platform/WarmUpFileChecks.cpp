#include "platform/WarmUpFileChecks.h"

#include <windows.h>

#include "platform/GetFileVersionQuad.h"
#include "platform/IsFileTrusted.h"
#include "platform/TextConvert.h"

namespace {

void CheckOwnProgram()
{
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const std::string path = WideToUtf8(self);
    int32_t ignored = 0;
    static_cast<void>(GetFileVersionQuad(path, &ignored, &ignored, &ignored, &ignored));
    // A signed program warms the whole path a signed package takes.
    static_cast<void>(IsFileTrusted(path));
}

}  // namespace

void WarmUpFileChecks()
{
    // Once a process: a retried download finds the libraries ready already.
    static const bool warmed = (CheckOwnProgram(), true);
    static_cast<void>(warmed);
}
