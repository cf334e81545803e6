#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

// Bytes this user may still write on the volume of `folder` (quotas
// included); false when the volume cannot be asked.
[[nodiscard]] bool FreeBytesOfFolder(const std::wstring& folder, uint64_t& bytes);
// Bytes the file already takes on its volume: the whole size of a
// preallocated file on NTFS or FAT, only the written parts of a sparse one.
[[nodiscard]] bool AllocatedBytes(HANDLE file, uint64_t& bytes);
// The folder that holds `path` (everything before its last backslash).
std::wstring FolderOf(const std::wstring& path);
