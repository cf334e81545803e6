#pragma once
#include <windows.h>

#include <string>

#include "platform/UniqueHandle.h"

// The program runs elevated in a folder that other programs of the user may
// write into. A name there may be a hard link, or a reparse point, planted to
// turn an elevated write, resize, rename or delete onto a file elsewhere.
// These open the name itself, never what a reparse point names, and refuse a
// file that is a reparse point or has more than one name.

// True when the open file is a reparse point, has more than one name, or is
// a disk file that cannot be examined.
[[nodiscard]] bool IsLinkedFile(HANDLE file);

// CreateFileW of the name itself (FILE_FLAG_OPEN_REPARSE_POINT is added, and
// FILE_READ_ATTRIBUTES to access, for the check). disposition: OPEN_EXISTING
// or OPEN_ALWAYS; truncate through the handle, after the check. A linked file
// is closed again untouched: the handle is then invalid and *linked true.
UniqueHandle OpenUnlinkedFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                              bool* linked = nullptr);

// Deletes the file through such a handle. False, with the file untouched,
// when it is linked (*linked true), missing or cannot be deleted.
bool DeleteUnlinkedFile(const std::wstring& path, bool* linked = nullptr);
