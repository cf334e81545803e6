#pragma once
#include <string>
#include <vector>

// Small file-system helpers of the controller. Paths are UTF-8 and are
// converted to UTF-16 at every file-system call.

// The user's roaming application-data folder; empty when the shell cannot tell.
std::string GetAppDataPath();

// The full path of the running program.
std::string GetModulePath();

// The text before the last backslash; empty when there is none.
std::string GetDirectoryPart(const std::string& path);

// Creates one folder level unless a folder of that name exists already.
// True when the folder is there afterwards.
[[nodiscard]] bool EnsureDirectory(const std::string& path);

// <appData>\Quorvex\<name>, made where missing (both levels); the path is
// given back even when it could not be made.
std::string MakeAppDataFolder(const std::string& appData, const char* name);

// The local date as "%04d%02d%02d".
std::string TodayStamp();

// A file counts as present when its attributes can be read and include the
// archive attribute.
[[nodiscard]] bool IsFilePresent(const std::string& path);

// Reads a whole file, zero-terminated for in-place parsing. False when it
// cannot be opened or read, or is larger than maxBytes.
[[nodiscard]] bool ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<char>* bytes);
