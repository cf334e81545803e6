#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "platform/FileSigner.h"
#include "platform/GetFileSize64.h"
#include "platform/GetFileVersionQuad.h"
#include "platform/HeldFile.h"
#include "platform/IsFileTrusted.h"
#include "platform/LaunchAsDesktopUser.h"
#include "platform/TextConvert.h"
#include "platform/UnlinkedFile.h"
#include "platform/UniqueHandle.h"
#include "platform/VersionQuad.h"
#include "support/LocalServer.h"
#include "support/TestFiles.h"

TEST(GetFileVersionQuad, ReadsTheProductVersionNotTheFileVersion)
{
    int32_t major = -1, minor = -1, build = -1, revision = -1;
    ASSERT_TRUE(GetFileVersionQuad(LocalServer::FixturePath(Fixture::Signed), &major, &minor, &build, &revision));
    EXPECT_EQ(major, 2);
    EXPECT_EQ(minor, 5);
    EXPECT_EQ(build, 17);
    EXPECT_EQ(revision, 3);

    major = minor = build = revision = -7;
    EXPECT_FALSE(GetFileVersionQuad(LocalServer::FixturePath(Fixture::Unversioned), &major, &minor, &build, &revision));
    EXPECT_FALSE(GetFileVersionQuad("Z:\\no\\such\\file.exe", &major, &minor, &build, &revision));
    EXPECT_EQ(major, -7);
    EXPECT_EQ(minor, -7);
    EXPECT_EQ(build, -7);
    EXPECT_EQ(revision, -7);
}

namespace {

uint32_t U32(const std::string& b, size_t at)
{
    return at + 4 <= b.size() ? *reinterpret_cast<const uint32_t*>(&b[at]) : 0;
}
uint16_t U16(const std::string& b, size_t at)
{
    return at + 2 <= b.size() ? *reinterpret_cast<const uint16_t*>(&b[at]) : 0;
}
void Put32(std::string& b, size_t at, uint32_t value) { memcpy(&b[at], &value, 4); }

// The file offset of the named section's header; 0 when there is none.
size_t SectionHeader(const std::string& image, const char* name)
{
    const size_t pe = U32(image, 0x3c), sections = pe + 24 + U16(image, pe + 20);
    for (uint16_t i = 0; i < U16(image, pe + 6); ++i) {
        if (image.compare(sections + 40 * i, strlen(name), name) == 0) return sections + 40 * i;
    }
    return 0;
}

// The file offset of the version resource; 0 when it is not found.
size_t VersionBlock(const std::string& image)
{
    const size_t key = image.find(std::string(reinterpret_cast<const char*>(L"VS_VERSION_INFO"), 30));
    return key == std::string::npos || key < 6 ? 0 : key - 6;
}

// The file offset of the version resource's data entry (its RVA, then its
// size); 0 when it is not found.
size_t VersionEntry(const std::string& image)
{
    const size_t block = VersionBlock(image), header = SectionHeader(image, ".rsrc");
    if (!block || !header) return 0;
    const uint32_t rva = U32(image, header + 12), rawSize = U32(image, header + 16), raw = U32(image, header + 20);
    const uint32_t resourceRva = static_cast<uint32_t>(block - raw + rva);
    for (size_t at = raw; at + 8 <= raw + rawSize; at += 4) {
        if (U32(image, at) == resourceRva) return at;
    }
    return 0;
}

int32_t VersionMajor(const std::string& path)
{
    int32_t major = -7, minor = 0, build = 0, revision = 0;
    return GetFileVersionQuad(path, &major, &minor, &build, &revision) ? major : -7;
}

}  // namespace

TEST(GetFileVersionQuad, IsReadFromAHeldFileAndNeverPastTheFilesEnd)
{
    const std::string path = LocalServer::FixturePath(Fixture::Signed);
    int32_t major = 0, minor = 0, build = 0, revision = 0;
    {
        const HeldFile held(path);
        ASSERT_TRUE(held.Held());
        EXPECT_TRUE(GetFileVersionQuad(held, &major, &minor, &build, &revision));
        EXPECT_EQ(major, 2);
    }

    TempDir dir;
    const std::string image = ReadFileBytes(path), lying = dir.File("lying.exe");
    const size_t entry = VersionEntry(image), spare = SectionHeader(image, ".bss"),
                 rsrc = SectionHeader(image, ".rsrc");
    ASSERT_TRUE(entry && spare && rsrc);
    for (uint32_t size : {0x7fffffffu, static_cast<uint32_t>(image.size())}) {
        std::string patched = image;
        Put32(patched, entry + 4, size);
        ASSERT_TRUE(WriteFileBytes(lying, patched));
        EXPECT_EQ(VersionMajor(lying), -7) << size;
    }

    // A version resource elsewhere in memory, where a read past a mapped
    // file's view could find it.
    const size_t block = VersionBlock(image);
    BYTE* planted = static_cast<BYTE*>(VirtualAlloc(nullptr, 0x10000, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_TRUE(planted);
    memcpy(planted, &image[block], U16(image, block));
    HMODULE loaded = LoadLibraryExW(Utf8ToWide(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(loaded);
    const uint32_t base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(loaded) & ~uintptr_t{0xffff});
    FreeLibrary(loaded);

    // The version's data moved, through a section of its own, past the
    // file's end, to where a 32-bit sum wraps below the file, and to the
    // planted copy; then the whole resource section moved.
    for (uint32_t raw : {static_cast<uint32_t>(image.size()), 0xfffff000u,
                         static_cast<uint32_t>(reinterpret_cast<uintptr_t>(planted)) - base}) {
        std::string patched = image;
        Put32(patched, spare + 12, 0x7f000000);  // its RVA
        Put32(patched, spare + 16, 0x1000);      // its raw size
        Put32(patched, spare + 20, raw);
        Put32(patched, entry, 0x7f000000);
        ASSERT_TRUE(WriteFileBytes(lying, patched));
        EXPECT_EQ(VersionMajor(lying), -7) << raw;
    }
    for (uint32_t raw : {static_cast<uint32_t>(image.size()), 0xfffffe00u}) {
        std::string patched = image;
        Put32(patched, rsrc + 20, raw);
        ASSERT_TRUE(WriteFileBytes(lying, patched));
        EXPECT_EQ(VersionMajor(lying), -7) << raw;
    }
    VirtualFree(planted, 0, MEM_RELEASE);

    ASSERT_TRUE(WriteFileBytes(dir.File("text.exe"), "MZ not a program"));
    EXPECT_EQ(VersionMajor(dir.File("text.exe")), -7);
}

TEST(GetFileVersionQuad, ReadsAPackageOfOneAndAHalfGiB)
{
    // Sparse: the fixture, then an overlay to 1.5 GiB that takes no disk.
    TempDir dir;
    const std::string big = dir.File("big.exe");
    ASSERT_TRUE(CopyFileTo(LocalServer::FixturePath(Fixture::Signed), big));
    {
        UniqueHandle file(CreateFileW(Utf8ToWide(big).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file);
        LARGE_INTEGER end;
        end.QuadPart = 3LL << 29;
        ASSERT_TRUE(SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.Get()));
    }
    int32_t major = 0, minor = 0, build = 0, revision = 0;
    {
        const HeldFile held(big);
        ASSERT_TRUE(GetFileVersionQuad(held, &major, &minor, &build, &revision));
    }
    EXPECT_EQ(FormatVersion({major, minor, build, revision}), "2.5.17.3");
}

TEST(IsFileTrusted, OnlyAnIntactSignedFileIsTrusted)
{
    EXPECT_TRUE(IsFileTrusted(LocalServer::FixturePath(Fixture::Signed)));
    EXPECT_TRUE(IsFileTrusted(LocalServer::FixturePath(Fixture::Large)));
    EXPECT_TRUE(IsFileTrusted(LocalServer::FixturePath(Fixture::OtherSigner)));
    EXPECT_FALSE(IsFileTrusted(LocalServer::FixturePath(Fixture::Unsigned)));
    EXPECT_FALSE(IsFileTrusted(LocalServer::FixturePath(Fixture::Tampered)));
    EXPECT_FALSE(IsFileTrusted("Z:\\no\\such\\file.exe"));
    EXPECT_FALSE(IsFileTrusted(""));
}

TEST(IsFileTrusted, OnlyZeroIsAVerdictOfTrust)
{
    EXPECT_TRUE(TrustVerdict(ERROR_SUCCESS));
    EXPECT_FALSE(TrustVerdict(1));
    EXPECT_FALSE(TrustVerdict(static_cast<LONG>(TRUST_E_NOSIGNATURE)));
}

TEST(IsSignedBy, OnlyThePinnedPublishersSignaturesMatch)
{
    const std::string ours = LocalServer::FixturePath(Fixture::Signed);
    const std::string other = LocalServer::FixturePath(Fixture::OtherSigner);
    const std::string unsigned_ = LocalServer::FixturePath(Fixture::Unsigned);
    FileSigner signer;
    ASSERT_TRUE(GetFileSigner(other, &signer));
    EXPECT_EQ(signer.name, kOtherSigner);
    EXPECT_FALSE(GetFileSigner(unsigned_, &signer));

    // The thumbprint as openssl computed it from the certificate.
    std::string thumbprint = ReadFileBytes(LocalServer::BinaryDir() + "\\fixture-ca\\signer.sha1");
    thumbprint = thumbprint.substr(0, thumbprint.find_first_of("\r\n"));
    ASSERT_EQ(thumbprint.size(), 40u);
    std::string lower = thumbprint;
    CharLowerA(lower.data());

    for (const std::string& pin : {std::string(kFixtureSigner), thumbprint, lower}) {
        SCOPED_TRACE(pin);
        EXPECT_TRUE(IsSignedBy(ours, pin));
        EXPECT_FALSE(IsSignedBy(other, pin));
        EXPECT_FALSE(IsSignedBy(unsigned_, pin));
    }
    EXPECT_FALSE(IsSignedBy(ours, "Quorvex Test Signe"));
    EXPECT_FALSE(IsSignedBy(ours, "quorvex test signer"));
    EXPECT_FALSE(IsSignedBy(ours, thumbprint.substr(0, 39) + (thumbprint[39] == '0' ? "1" : "0")));
    // No pin: any signature, or none, is left to the trust check.
    EXPECT_TRUE(IsSignedBy(other, ""));
    EXPECT_TRUE(IsSignedBy(unsigned_, ""));
}

TEST(UnlinkedFile, AHardLinkedNameIsRefusedAndBothNamesStay)
{
    TempDir dir, elsewhere;
    const std::wstring victim = Utf8ToWide(elsewhere.File("victim.dll"));
    const std::wstring planted = Utf8ToWide(dir.File("package.tmp"));
    const std::wstring plain = Utf8ToWide(dir.File("plain.tmp"));
    ASSERT_TRUE(WriteFileBytes(WideToUtf8(victim), "victim"));
    ASSERT_TRUE(WriteFileBytes(WideToUtf8(plain), "plain"));
    ASSERT_TRUE(CreateHardLinkW(planted.c_str(), victim.c_str(), nullptr));

    bool linked = false;
    EXPECT_FALSE(OpenUnlinkedFile(planted, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, 0, &linked));
    EXPECT_TRUE(linked);
    EXPECT_FALSE(DeleteUnlinkedFile(planted, &linked));
    EXPECT_TRUE(linked);
    EXPECT_EQ(ReadFileBytes(WideToUtf8(planted)), "victim");

    // A plain file, and a new one, open; a missing one is not a link.
    UniqueHandle file = OpenUnlinkedFile(plain, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, 0, &linked);
    EXPECT_TRUE(file);
    EXPECT_FALSE(linked);
    file.Reset();
    EXPECT_TRUE(OpenUnlinkedFile(Utf8ToWide(dir.File("new.tmp")), GENERIC_WRITE, 0, OPEN_ALWAYS, 0, &linked));
    EXPECT_TRUE(DeleteUnlinkedFile(plain, &linked));
    EXPECT_FALSE(FileExists(WideToUtf8(plain)));
    EXPECT_FALSE(DeleteUnlinkedFile(plain, &linked));
    EXPECT_FALSE(linked);

    // Once the victim's own name goes, the remaining name is a plain file again.
    ASSERT_TRUE(DeleteFileW(victim.c_str()));
    EXPECT_TRUE(DeleteUnlinkedFile(planted, &linked));
}

TEST(GetFileSize64, MissingAndEmptyFilesAreBothZero)
{
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("empty"), ""));
    ASSERT_TRUE(WriteFileBytes(dir.File("some"), PatternBytes(70000)));
    EXPECT_EQ(GetFileSize64(Utf8ToWide(dir.File("missing"))), 0u);
    EXPECT_EQ(GetFileSize64(Utf8ToWide(dir.File("empty"))), 0u);
    EXPECT_EQ(GetFileSize64(Utf8ToWide(dir.File("some"))), 70000u);

    // Another program writing the file does not hide its size.
    UniqueHandle writer(CreateFileW(Utf8ToWide(dir.File("some")).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer);
    EXPECT_EQ(GetFileSize64(Utf8ToWide(dir.File("some"))), 70000u);
}

TEST(LaunchAsDesktopUser, StartsTheProgramWhichLeavesItsProof)
{
    TempDir dir;
    const std::string exe = dir.File("TzGameSetup_\xE7\xAB\x99.exe");  // a non-ASCII name, as site ids may give
    ASSERT_TRUE(CopyFileTo(LocalServer::FixturePath(Fixture::Signed), exe));

    UniqueHandle token(CreateMediumToken(SECURITY_MANDATORY_MEDIUM_RID));
    EXPECT_TRUE(token);

    {
        const HeldFile program(exe);
        ASSERT_TRUE(LaunchAsDesktopUser(program));
    }
    EXPECT_TRUE(WaitForFile(exe + ".ran", 30000));
    // The proof is created before its text is written: wait for the text too.
    const std::string proof = "QUORVEX-FIXTURE-RAN\r\n";
    for (int i = 0; i < 200 && ReadFileBytes(exe + ".ran") != proof; ++i) Sleep(50);
    EXPECT_EQ(ReadFileBytes(exe + ".ran"), proof);

    EXPECT_FALSE(LaunchAsDesktopUser(HeldFile(dir.File("missing.exe"))));

    // The fixture exits right after its proof; let it go before the folder does.
    for (int i = 0; i < 100 && !DeleteFileW(Utf8ToWide(exe).c_str()); ++i) Sleep(50);
}
