#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/UniqueHandle.h"

class HeldFile;

// A primary token of this process's own user at the given integrity level
// (0x3000: medium); empty when it cannot be made.
[[nodiscard]] UniqueHandle CreateMediumToken(uint32_t integrityRid);

// Starts a held executable, by the path its handle has now, as the desktop
// user at medium integrity, with the user's own environment and no command
// line, and does not wait for it. The caller holds the file until this
// returns, so the program started is the file that was checked. True when
// the process was created; false for a file that is not held.
bool LaunchAsDesktopUser(const HeldFile& program);
