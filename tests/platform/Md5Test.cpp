#include <gtest/gtest.h>
#include <windows.h>

#include "platform/CSMd5.h"
#include "platform/HeldFile.h"
#include "platform/Md5OfFile.h"
#include "platform/OpenFileUtf8.h"
#include "platform/PendingMd5.h"
#include "platform/TextConvert.h"
#include "platform/UniqueHandle.h"
#include "support/TestFiles.h"

namespace {

std::string Md5(const std::string& text)
{
    CSMd5 md5;
    md5.Update(text.data(), text.size());
    return md5.HexDigest();
}

}  // namespace

TEST(CSMd5, MatchesTheRfc1321TestSuite)
{
    EXPECT_EQ(Md5(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Md5("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Md5("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Md5("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(CSMd5, PiecesOfAnySizeGiveTheWholeDigestOnce)
{
    // Pieces that straddle the 64-byte block and the 56-byte padding edge.
    const std::string text = PatternBytes(1000, 9);
    const std::string whole = Md5(text);
    for (size_t piece : {1u, 55u, 56u, 63u, 64u, 65u, 999u}) {
        CSMd5 md5;
        for (size_t at = 0; at < text.size(); at += piece) {
            md5.Update(text.data() + at, std::min(piece, text.size() - at));
        }
        EXPECT_EQ(md5.HexDigest(), whole) << piece;
        EXPECT_EQ(md5.HexDigest(), whole);  // finishing twice changes nothing
    }
}

TEST(Md5OfFile, DigestsEmptyLargeAndUnicodeNamedFiles)
{
    TempDir dir;
    std::string out = "old";
    ASSERT_TRUE(WriteFileBytes(dir.File("empty.bin"), ""));
    EXPECT_EQ(Md5OfFile(dir.File("empty.bin"), &out), 0);
    EXPECT_EQ(out, "d41d8cd98f00b204e9800998ecf8427e");

    ASSERT_TRUE(WriteFileBytes(dir.File("three-mib.bin"), std::string(3 << 20, 'a')));
    EXPECT_EQ(Md5OfFile(dir.File("three-mib.bin"), &out), 0);
    EXPECT_EQ(out, "6a11a8872b36343799a15617bea78cef");

    const std::string unicode = dir.File("\xE5\x8C\x85-\xC3\xBC.bin");  // 包-ü.bin
    ASSERT_TRUE(WriteFileBytes(unicode, "abc"));
    EXPECT_EQ(Md5OfFile(unicode, &out), 0);
    EXPECT_EQ(out, "900150983cd24fb0d6963f7d28e17f72");

    FILE* f = OpenFileUtf8(unicode, "rb");
    ASSERT_NE(f, nullptr);
    char got[4] = {};
    EXPECT_EQ(fread(got, 1, 3, f), 3u);
    EXPECT_STREQ(got, "abc");
    fclose(f);
}

TEST(Md5OfFile, AbsentUnopenableAndUnreadableFilesLeaveTheTextAlone)
{
    TempDir dir;
    std::string out = "untouched";
    EXPECT_EQ(Md5OfFile("", &out), -1);
    EXPECT_EQ(Md5OfFile(dir.File("missing.bin"), &out), -1);

    // Present means: attributes readable and the archive attribute set. A
    // folder never has it; Wine reports it for every plain file, so there
    // the cleared file cannot be checked.
    EXPECT_EQ(Md5OfFile(dir.Path(), &out), -1);
    const std::string plain = dir.File("not-archived.bin");
    ASSERT_TRUE(WriteFileBytes(plain, "abc"));
    ASSERT_TRUE(SetFileAttributesW(Utf8ToWide(plain).c_str(), FILE_ATTRIBUTE_NORMAL));
    if (!(GetFileAttributesW(Utf8ToWide(plain).c_str()) & FILE_ATTRIBUTE_ARCHIVE)) {
        EXPECT_EQ(Md5OfFile(plain, &out), -1);
    }

    const std::string locked = dir.File("locked.bin");
    ASSERT_TRUE(WriteFileBytes(locked, PatternBytes(5000)));
    {
        UniqueHandle exclusive(CreateFileW(Utf8ToWide(locked).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(exclusive);
        EXPECT_EQ(Md5OfFile(locked, &out), -2);
    }

    // A file that fails to read gives no digest of the part it read.
    const UniqueHandle writeOnly(CreateFileW(Utf8ToWide(locked).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writeOnly);
    EXPECT_EQ(Md5OfHandle(writeOnly.Get(), &out), -2);
    EXPECT_EQ(out, "untouched");
}

TEST(PendingMd5, HashesBesideAReaderOfTheHeldHandleAndLetsTheFileGoOnCancel)
{
    TempDir dir;
    const std::string path = dir.File("package.exe");
    ASSERT_TRUE(WriteFileBytes(path, std::string(3 << 20, 'a')));
    HeldFile held(path);
    ASSERT_TRUE(held.Held());

    // The held handle is read meanwhile, as the signature check does: neither
    // reader moves the other's file pointer.
    PendingMd5 md5(held);
    std::string first;
    ASSERT_EQ(Md5OfFile(held, &first), 0);
    EXPECT_EQ(md5.Wait(), "6a11a8872b36343799a15617bea78cef");
    EXPECT_EQ(first, md5.Wait());

    PendingMd5 cancelled(held);
    cancelled.Cancel();
    held.Release();
    EXPECT_TRUE(DeleteFileW(Utf8ToWide(path).c_str()));  // no handle of the digest is left open

    PendingMd5 unheld(held);
    EXPECT_EQ(unheld.Wait(), "");  // no file, no digest: it matches nothing
}
