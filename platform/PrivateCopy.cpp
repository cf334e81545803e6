#include "platform/PrivateCopy.h"

#include <objbase.h>
#include <sddl.h>

#include <utility>
#include <vector>

#include "platform/LogFailedCall.h"
#include "platform/TextConvert.h"
#include "platform/UnlinkedFile.h"

namespace {

constexpr wchar_t kFolderPrefix[] = L"QuorvexSetup-";
constexpr DWORD kCopyPiece = 1 << 20;

struct LocalMemoryTraits : NullHandleTraits<void*> {
    static void Close(void* p) { LocalFree(p); }
};
using UniqueLocalMemory = UniqueAny<LocalMemoryTraits>;

struct FindTraits {
    using Handle = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { FindClose(h); }
};
using UniqueFind = UniqueAny<FindTraits>;

// This process's user as an SDDL SID string; empty when unknown.
std::wstring ProcessUserSid()
{
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    const UniqueHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !GetTokenInformation(token.Get(), TokenUser, user.data(), size, &size)) return {};
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) return {};
    const UniqueLocalMemory owned(text);
    return text;
}

// Copies from the start of the held file to a new file at path; 0 or the error.
DWORD CopyHeldFile(const HeldFile& source, const std::wstring& path)
{
    const UniqueHandle in = source.Reopen();  // a file pointer of its own
    if (!in) return GetLastError();
    UniqueHandle out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return GetLastError();
    std::vector<BYTE> piece(kCopyPiece);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in.Get(), piece.data(), kCopyPiece, &got, nullptr)) return GetLastError();
        if (got == 0) break;
        DWORD written = 0;
        if (!WriteFile(out.Get(), piece.data(), got, &written, nullptr)) return GetLastError();
        if (written != got) return ERROR_WRITE_FAULT;
    }
    // Not flushed: the copy is read back and launched from the cache in this
    // run, and the next start deletes it whatever state it is in.
    return ERROR_SUCCESS;
}

}  // namespace

PrivateCopy::PrivateCopy(PrivateCopy&& other) noexcept
    : folder_(std::move(other.folder_)), path_(std::move(other.path_)), copy_(std::move(other.copy_)),
      error_(other.error_), kept_(other.kept_)
{
    other.folder_.clear();
    other.path_.clear();
}

PrivateCopy& PrivateCopy::operator=(PrivateCopy&& other) noexcept
{
    if (this != &other) {
        if (!kept_) Delete();
        folder_ = std::exchange(other.folder_, std::wstring());
        path_ = std::exchange(other.path_, std::wstring());
        copy_ = std::move(other.copy_);
        error_ = other.error_;
        kept_ = other.kept_;
    }
    return *this;
}

PrivateCopy::~PrivateCopy()
{
    if (!kept_) Delete();
}

PrivateCopy::PrivateCopy(const HeldFile& source, const std::wstring& parent, const std::wstring& folderName,
                         const std::wstring& fileName)
{
    if (!source.Held() || parent.empty() || folderName.empty() || fileName.empty()) return;
    const std::wstring folder = parent + L"\\" + folderName;
    if (!CreateFolder(folder)) {
        error_ = GetLastError();
        return;
    }
    folder_ = folder;
    path_ = folder + L"\\" + fileName;
    error_ = CopyHeldFile(source, path_);
    if (error_ == ERROR_SUCCESS) {
        copy_ = HeldFile(WideToUtf8(path_));
        error_ = copy_.Error();
    }
    if (!Made()) Delete();
}

void PrivateCopy::Delete()
{
    copy_.Release();
    if (!path_.empty() && !DeleteFileW(path_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        LOG_FAILED_CALL("DeleteFileW");
    if (!folder_.empty() && !RemoveDirectoryW(folder_.c_str())) LOG_FAILED_CALL("RemoveDirectoryW");
    path_.clear();
    folder_.clear();
}

std::wstring PrivateCopy::DefaultParent()
{
    wchar_t windows[MAX_PATH];
    const UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return std::wstring(windows, n) + L"\\Temp";
}

std::wstring PrivateCopy::NewFolderName()
{
    GUID guid = {};
    wchar_t text[40];
    if (FAILED(CoCreateGuid(&guid)) || StringFromGUID2(guid, text, 40) == 0) return {};
    return kFolderPrefix + std::wstring(text + 1, 36);  // without the braces
}

std::wstring PrivateCopy::FolderSddl()
{
    const std::wstring user = ProcessUserSid();
    if (user.empty()) return {};
    // P: protected, nothing inherited from the parent; OICI: the copy gets the
    // same; 0x1200a9: read, list and execute.
    return L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;" + user + L")";
}

bool PrivateCopy::CreateFolder(const std::wstring& path)
{
    const std::wstring sddl = FolderSddl();
    if (sddl.empty()) return false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    const UniqueLocalMemory owned(descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    // CreateDirectoryW fails on any existing name, a junction's included.
    return CreateDirectoryW(path.c_str(), &attributes) != FALSE;
}

void PrivateCopy::DeleteLeftovers(const std::wstring& parent)
{
    if (parent.empty()) return;
    WIN32_FIND_DATAW found;
    const UniqueFind search(FindFirstFileExW((parent + L"\\" + kFolderPrefix + L"*").c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0));
    if (!search) return;
    do {
        const DWORD attributes = found.dwFileAttributes;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        const std::wstring folder = parent + L"\\" + found.cFileName;
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW inner;
        const UniqueFind files(
            FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &inner, FindExSearchNameMatch, nullptr, 0));
        if (files) {
            do {
                if (!(inner.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(inner.cFileName);
            } while (FindNextFileW(files.Get(), &inner));
        }
        // Open without delete sharing, the folder cannot be renamed or
        // swapped for a junction while its files are deleted by name; it goes
        // itself through this handle once empty. Whatever folder the names
        // now lead into, a link in it is never followed.
        const UniqueHandle held(CreateFileW(folder.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        BY_HANDLE_FILE_INFORMATION info = {};
        if (!held || !GetFileInformationByHandle(held.Get(), &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        for (const std::wstring& name : names) DeleteUnlinkedFile(folder + L"\\" + name);
        FILE_DISPOSITION_INFO disposition = {TRUE};
        SetFileInformationByHandle(held.Get(), FileDispositionInfo, &disposition, sizeof(disposition));
    } while (FindNextFileW(search.Get(), &found));
}
