#pragma once
#include <windows.h>

#include <string>

#include "platform/HeldFile.h"

// A package's copy in a folder of its own that only Administrators and
// SYSTEM may write. The package beside the program lies in a folder that the
// user's programs write: a view they mapped writable can change its bytes
// after a check, and a junction above it can show each reader by name
// another file. The copy is made from the package's handle, then checked and
// launched, so nothing done to the original reaches what runs.
//
// The folder is made fresh under a location the user cannot redirect, with
// an explicit DACL (full control for Administrators and SYSTEM, read and
// execute for this process's user, nothing inherited); an existing folder is
// never used. The copy and its folder are deleted with this object unless
// Keep() leaves them to the launched setup; the next start deletes those.
class PrivateCopy {
public:
    PrivateCopy() = default;
    PrivateCopy(PrivateCopy&& other) noexcept;
    PrivateCopy& operator=(PrivateCopy&& other) noexcept;
    PrivateCopy(const PrivateCopy&) = delete;
    PrivateCopy& operator=(const PrivateCopy&) = delete;
    virtual ~PrivateCopy();

    // Copies the held file to parent\folderName\fileName. Made() tells
    // whether that worked; Error() then why not (ERROR_ALREADY_EXISTS for a
    // folder that was there already).
    PrivateCopy(const HeldFile& source, const std::wstring& parent, const std::wstring& folderName,
                const std::wstring& fileName);

    bool Made() const { return copy_.Held(); }
    DWORD Error() const { return error_; }
    // The copy, held from its making.
    const HeldFile& File() const { return copy_; }
    const std::wstring& Folder() const { return folder_; }
    // The launched setup runs from the copy: it stays after this object.
    void Keep() { kept_ = true; }

    // %WINDIR%\Temp, which only administrators can move elsewhere.
    static std::wstring DefaultParent();
    // A name no earlier run used: the prefix and a random GUID.
    static std::wstring NewFolderName();
    // Deletes the folders that earlier runs left under parent. A link or
    // junction, and a file in use (a setup still running), are left alone.
    static void DeleteLeftovers(const std::wstring& parent);
    // The folder's DACL: full control for SYSTEM and Administrators, read and
    // execute for this process's user, protected; empty when the user is unknown.
    static std::wstring FolderSddl();
    // A folder at path with that DACL; fails on an existing name.
    [[nodiscard]] static bool CreateFolder(const std::wstring& path);

private:
    void Delete();

    std::wstring folder_;
    std::wstring path_;
    HeldFile copy_;
    DWORD error_ = ERROR_INVALID_HANDLE;
    bool kept_ = false;
};
