#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/UniqueHandle.h"

// A primary token of this process's own user at the given integrity level
// (0x3000: medium); empty when it cannot be made.
[[nodiscard]] UniqueHandle CreateMediumToken(uint32_t integrityRid);

// Starts an executable as the desktop user at medium integrity, with the
// user's own environment and no command line, and does not wait for it.
// True when the process was created.
bool LaunchAsDesktopUser(const std::wstring& path);
