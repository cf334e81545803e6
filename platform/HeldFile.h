#pragma once
#include <windows.h>

#include <string>

#include "platform/UniqueHandle.h"

// A file opened for reading that others may only read while it is open. Any
// other open that asks for write or delete access then fails, so no program
// can write the file, rename it, delete it or move another file over its
// name (each of those opens it for writing or deletion) until it is
// released. Reading it by name while it is held reads this same file, and
// launching it by name launches it. A link or a reparse point is never held:
// its name could lead elsewhere.
class HeldFile {
public:
    HeldFile() = default;
    // Opens the file at a UTF-8 path; Held() tells whether that worked.
    explicit HeldFile(const std::string& path);
    HeldFile(HeldFile&&) = default;
    HeldFile& operator=(HeldFile&&) = default;
    virtual ~HeldFile() = default;

    bool Held() const { return file_.Valid(); }
    HANDLE Handle() const { return file_.Get(); }
    const std::string& Path() const { return path_; }
    // Why it is not held: a link, or the open's error.
    bool Linked() const { return linked_; }
    DWORD Error() const { return error_; }

    // Moves the file pointer back to the start, for a reader of the handle.
    [[nodiscard]] bool Rewind() const;
    // Another handle to this same file, whatever now lies at its path, with a
    // file pointer of its own; empty when not held or the reopen fails.
    UniqueHandle Reopen() const;
    // Lets others have the file again.
    void Release();

private:
    std::string path_;
    UniqueHandle file_;
    bool linked_ = false;
    DWORD error_ = ERROR_INVALID_HANDLE;
};
