#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

// The lower-case MD5 text of a file into *out (replacing its content).
// 0: done. -1: no path, or the file is not present (its attributes cannot
// be read or lack the archive attribute). -2: it cannot be opened or read
// to its end. On -1 and -2 *out is left as it was.
[[nodiscard]] int32_t Md5OfFile(const std::string& path, std::string* out);

class HeldFile;

// The lower-case MD5 text of a held file, read through its handle from its
// start: 0, or -2 when it is not held or cannot be read to its end (*out
// then unchanged).
[[nodiscard]] int32_t Md5OfFile(const HeldFile& file, std::string* out);

// The digest of an open file from its file pointer to its end: 0, or -2
// when reading fails or *cancel is set before the end (*out then unchanged).
[[nodiscard]] int32_t Md5OfHandle(HANDLE file, std::string* out, const std::atomic<bool>* cancel = nullptr);
