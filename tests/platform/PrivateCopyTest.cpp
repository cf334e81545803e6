#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "platform/HeldFile.h"
#include "platform/LaunchAsDesktopUser.h"
#include "platform/PrivateCopy.h"
#include "platform/TextConvert.h"
#include "platform/UniqueHandle.h"
#include "support/LocalServer.h"
#include "support/TestFiles.h"
#include "support/Wait.h"

namespace {

constexpr DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                               FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type)
{
    BYTE known[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(known);
    return CreateWellKnownSid(type, nullptr, known, &size) && EqualSid(sid, known);
}

// Only Administrators and SYSTEM may write; the user may read and run.
void ExpectPrivate(PSECURITY_DESCRIPTOR descriptor)
{
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing inherited from the parent";
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl);
    int writers = 0, readers = 0;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        ASSERT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        PSID sid = &ace->SidStart;
        if (ace->Mask & kWriteRights) {
            EXPECT_TRUE(IsWellKnown(sid, WinBuiltinAdministratorsSid) || IsWellKnown(sid, WinLocalSystemSid))
                << "write granted to another account, mask " << std::hex << ace->Mask;
            ++writers;
        } else {
            EXPECT_EQ(ace->Mask & (FILE_READ_DATA | FILE_EXECUTE), static_cast<DWORD>(FILE_READ_DATA | FILE_EXECUTE));
            ++readers;
        }
    }
    EXPECT_EQ(writers, 2);
    EXPECT_EQ(readers, 1) << "the user may read and run the copy";
}

}  // namespace

TEST(PrivateCopy, OnlyAdministratorsAndSystemMayWriteTheFreshFolder)
{
    TempDir parent;
    const std::wstring name = PrivateCopy::NewFolderName();
    ASSERT_EQ(name.rfind(L"QuorvexSetup-", 0), 0u);
    EXPECT_NE(name, PrivateCopy::NewFolderName());

    const HeldFile source(LocalServer::FixturePath(Fixture::Signed));
    PrivateCopy copy(source, Utf8ToWide(parent.Path()), name, L"TzGameSetup_1.exe");
    ASSERT_TRUE(copy.Made()) << copy.Error();
    EXPECT_EQ(ReadFileBytes(copy.File().Path()), ReadFileBytes(source.Path()));

    PSECURITY_DESCRIPTOR made = nullptr;
    ASSERT_TRUE(
        ConvertStringSecurityDescriptorToSecurityDescriptorW(PrivateCopy::FolderSddl().c_str(), 1, &made, nullptr));
    ExpectPrivate(made);
    LocalFree(made);
    // Windows keeps the folder's DACL as given; Wine keeps only the Unix mode
    // it maps to and reads back a DACL of its own making.
    PSECURITY_DESCRIPTOR kept = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoW(copy.Folder().c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    nullptr, nullptr, &kept),
              static_cast<DWORD>(ERROR_SUCCESS));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (GetSecurityDescriptorControl(kept, &control, &revision) && (control & SE_DACL_PROTECTED)) ExpectPrivate(kept);
    LocalFree(kept);

    // Without Keep() the copy and its folder go with the object.
    const std::wstring folder = copy.Folder();
    copy = PrivateCopy();
    EXPECT_EQ(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(PrivateCopy, AFolderThatExistsAlreadyIsNeverUsed)
{
    TempDir parent;
    const std::wstring name = PrivateCopy::NewFolderName(), folder = Utf8ToWide(parent.File(WideToUtf8(name)));
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::string planted = WideToUtf8(folder) + "\\TzGameSetup_1.exe";
    ASSERT_TRUE(WriteFileBytes(planted, "planted"));

    const HeldFile source(LocalServer::FixturePath(Fixture::Signed));
    {
        const PrivateCopy copy(source, Utf8ToWide(parent.Path()), name, L"TzGameSetup_1.exe");
        EXPECT_FALSE(copy.Made());
        EXPECT_EQ(copy.Error(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
        EXPECT_FALSE(PrivateCopy::CreateFolder(folder));
    }
    EXPECT_EQ(ReadFileBytes(planted), "planted") << "someone else's folder is left as it was";
    DeleteFileW(Utf8ToWide(planted).c_str());
    RemoveDirectoryW(folder.c_str());
}

// Once copied, the package is let go: a program of the user may then map it
// writable and change its bytes. What runs is the copy, with the bytes that
// were copied.
TEST(PrivateCopy, AWritableViewOfTheOriginalNeverChangesWhatRuns)
{
    TempDir dir, parent;
    const std::string package = dir.File("TzGameSetup_1.exe");
    const std::string signedBytes = ReadFileBytes(LocalServer::FixturePath(Fixture::Signed));
    ASSERT_TRUE(WriteFileBytes(package, signedBytes));
    PrivateCopy copy;
    {
        const HeldFile held(package);
        ASSERT_TRUE(held.Held()) << held.Error();
        copy = PrivateCopy(held, Utf8ToWide(parent.Path()), PrivateCopy::NewFolderName(), L"TzGameSetup_1.exe");
    }
    ASSERT_TRUE(copy.Made()) << copy.Error();
    void* view = nullptr;
    {
        const UniqueHandle file(CreateFileW(Utf8ToWide(package).c_str(), GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file);
        const UniqueHandle mapping(CreateFileMappingW(file.Get(), nullptr, PAGE_READWRITE, 0, 0, nullptr));
        ASSERT_TRUE(mapping);
        view = MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0);
        ASSERT_NE(view, nullptr);
    }
    memset(static_cast<char*>(view) + signedBytes.size() / 2, 'X', 64);
    ASSERT_TRUE(FlushViewOfFile(view, 0));
    UnmapViewOfFile(view);
    ASSERT_NE(ReadFileBytes(package), signedBytes);

    ASSERT_TRUE(LaunchAsDesktopUser(copy.File()));
    copy.Keep();
    const std::string copyPath = copy.File().Path();
    EXPECT_TRUE(WaitForFile(copyPath + ".ran", 30000)) << "the copy is what was started";
    EXPECT_FALSE(FileExists(package + ".ran"));
    EXPECT_EQ(ReadFileBytes(copyPath), signedBytes);

    // The next start deletes what the launched setup was left; a file there
    // with another name elsewhere is left alone, as that name's owner has it.
    const std::string outside = dir.File("victim.dll");
    ASSERT_TRUE(WriteFileBytes(outside, "victim"));
    const std::wstring linked = copy.Folder() + L"\\victim.dll";
    ASSERT_TRUE(CreateHardLinkW(linked.c_str(), Utf8ToWide(outside).c_str(), nullptr));
    copy = PrivateCopy();
    EXPECT_TRUE(WaitFor(
        [&] {
            PrivateCopy::DeleteLeftovers(Utf8ToWide(parent.Path()));
            return !FileExists(copyPath);  // not while the fixture is still ending
        },
        30000));
    EXPECT_FALSE(FileExists(copyPath + ".ran"));
    EXPECT_EQ(ReadFileBytes(WideToUtf8(linked)), "victim");
    EXPECT_EQ(ReadFileBytes(outside), "victim");
    DeleteFileW(linked.c_str());
    PrivateCopy::DeleteLeftovers(Utf8ToWide(parent.Path()));
    EXPECT_EQ(GetFileAttributesW(copy.Folder().c_str()), INVALID_FILE_ATTRIBUTES);
}
