#pragma once
#include <string>

class HeldFile;

// True when the system's Authenticode policy trusts the file, through a
// security catalog that lists its hash or through its embedded signature.
// The held file is hashed and verified through its handle.
[[nodiscard]] bool IsFileTrusted(const HeldFile& file);
[[nodiscard]] bool IsFileTrusted(const std::string& path);

// WinVerifyTrust's result as a verdict: only zero (ERROR_SUCCESS) trusts;
// any other value, positive ones too, does not.
[[nodiscard]] bool TrustVerdict(long result);
