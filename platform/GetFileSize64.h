#pragma once
#include <cstdint>
#include <string>

// A file's size in bytes; 0 when it cannot be opened.
[[nodiscard]] uint64_t GetFileSize64(const std::wstring& path);
