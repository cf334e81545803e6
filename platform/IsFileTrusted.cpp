#include "platform/IsFileTrusted.h"

#include <windows.h>
#include <wincrypt.h>
#include <mscat.h>
#include <softpub.h>
#include <wintrust.h>

#include <cwchar>

#include "platform/HeldFile.h"
#include "platform/TextConvert.h"
#include "platform/UniqueHandle.h"
#include "platform/WorkerCall.h"

namespace {

// Releases a catalog administrator context and the catalog it found.
class CatalogAdmin {
public:
    CatalogAdmin() { acquired_ = CryptCATAdminAcquireContext(&admin_, nullptr, 0) != FALSE; }
    ~CatalogAdmin()
    {
        if (catalog_) CryptCATAdminReleaseCatalogContext(admin_, catalog_, 0);
        if (acquired_) CryptCATAdminReleaseContext(admin_, 0);
    }
    CatalogAdmin(const CatalogAdmin&) = delete;
    CatalogAdmin& operator=(const CatalogAdmin&) = delete;

    bool Acquired() const { return acquired_; }
    HCATADMIN Admin() const { return admin_; }
    HCATINFO FindCatalog(BYTE* hash, DWORD hashLength)
    {
        catalog_ = CryptCATAdminEnumCatalogFromHash(admin_, hash, hashLength, 0, nullptr);
        return catalog_;
    }

private:
    HCATADMIN admin_ = nullptr;
    HCATINFO catalog_ = nullptr;
    bool acquired_ = false;
};

// Generic verification without any user interface or kept state.
LONG Verify(WINTRUST_DATA& data)
{
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.dwStateAction = WTD_STATEACTION_IGNORE;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    return WinVerifyTrust(nullptr, &action, &data);
}

LONG VerifyCatalogMember(const std::wstring& path, HANDLE file, const wchar_t* catalogPath,
                         const std::wstring& memberTag)
{
    WINTRUST_CATALOG_INFO catalog = {};
    catalog.cbStruct = sizeof(catalog);
    catalog.pcwszCatalogFilePath = catalogPath;
    catalog.pcwszMemberTag = memberTag.c_str();
    catalog.pcwszMemberFilePath = path.c_str();
    catalog.hMemberFile = file;

    WINTRUST_DATA data = {};
    data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
    data.dwUnionChoice = WTD_CHOICE_CATALOG;
    data.pCatalog = &catalog;
    return Verify(data);
}

LONG VerifyEmbedded(const std::wstring& path, HANDLE handle)
{
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path.c_str();
    file.hFile = handle;

    WINTRUST_DATA data = {};
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwProvFlags = WTD_SAFER_FLAG;
    return Verify(data);
}

}  // namespace

bool IsFileTrusted(const HeldFile& file)
{
    const std::wstring widePath = Utf8ToWide(file.Path());
    if (widePath.empty() || !file.Held()) return false;

    CatalogAdmin admin;
    if (!admin.Acquired()) return false;

    // The catalog lookup and the embedded signature's check each hash the
    // whole file, so the embedded check starts at once on a handle of its
    // own; its verdict counts only when no catalog lists the file.
    UniqueHandle own = file.Reopen();
    LONG embedded = TRUST_E_NOSIGNATURE;
    WorkerCall embeddedCheck([&] {
        if (own) embedded = VerifyEmbedded(widePath, own.Get());
    });

    // Every reader of the handle starts at the file's start.
    BYTE hash[100];
    DWORD hashLength = sizeof(hash);
    if (!file.Rewind() || !CryptCATAdminCalcHashFromFileHandle(file.Handle(), &hashLength, hash, 0)) hashLength = 0;

    HCATINFO catalog = hashLength ? admin.FindCatalog(hash, hashLength) : nullptr;
    if (!file.Rewind()) return false;
    if (catalog) {
        std::wstring memberTag;
        for (DWORD i = 0; i < hashLength; ++i) {
            wchar_t digits[3];
            std::swprintf(digits, 3, L"%02X", hash[i]);
            memberTag += digits;
        }
        CATALOG_INFO info = {};
        info.cbStruct = sizeof(info);
        if (!CryptCATCatalogInfoFromContext(catalog, &info, 0)) return false;
        return TrustVerdict(VerifyCatalogMember(widePath, file.Handle(), info.wszCatalogFile, memberTag));
    }
    embeddedCheck.Wait();
    if (!own) embedded = VerifyEmbedded(widePath, file.Handle());
    return TrustVerdict(embedded);
}

bool IsFileTrusted(const std::string& path) { return IsFileTrusted(HeldFile(path)); }

bool TrustVerdict(long result) { return result == ERROR_SUCCESS; }
