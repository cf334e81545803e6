#pragma once
#include <string>

// True when the system's Authenticode policy trusts the file, through a
// security catalog that lists its hash or through its embedded signature.
[[nodiscard]] bool IsFileTrusted(const std::string& path);
