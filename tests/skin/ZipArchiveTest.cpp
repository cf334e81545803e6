#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "SkinTestFiles.h"
#include "skin/ZipArchive.h"

namespace {

std::string ExpectedText()
{
    std::string s;
    for (int i = 0; i < 500; ++i) s += "Quorvex line " + std::to_string(i) + "\n";
    return s;
}

std::string ExpectedRaw()
{
    std::string s;
    for (int i = 0; i < 300; ++i) s += static_cast<char>((i * 37 + 11) & 255);
    return s;
}

std::string Unzip(ZipArchive& zip, int index, int size)
{
    std::string out(static_cast<size_t>(size), '\0');
    size_t written = 0;
    EXPECT_EQ(zip.UnzipItem(index, out.data(), out.size(), &written), ZR_OK) << "entry " << index;
    EXPECT_EQ(written, out.size());
    return out;
}

std::vector<ZipItem> List(ZipArchive& zip)
{
    std::vector<ZipItem> items;
    ZipItem count;
    EXPECT_EQ(zip.GetItem(-1, &count), ZR_OK);
    for (int i = 0; i < count.index; ++i) {
        items.emplace_back();
        EXPECT_EQ(zip.GetItem(i, &items.back()), ZR_OK) << "entry " << i;
    }
    return items;
}

// Opens a fixture archive, held so that reading past its end faults.
struct Fixture {
    explicit Fixture(const std::string& name) : guarded(ReadBuildFile("tests/skin/fixtures/" + name))
    {
        ok = guarded.size() > 0 && zip.Open(guarded.data(), guarded.size()) == ZR_OK;
    }
    GuardedBytes guarded;
    ZipArchive zip;
    bool ok = false;
};

// Reads everything the way the resource store does; must never fault.
void ReadAll(const uint8_t* data, size_t length)
{
    ZipArchive zip;
    if (zip.Open(data, length) != ZR_OK) return;
    ZipItem count;
    if (zip.GetItem(-1, &count) != ZR_OK) return;
    for (int i = 0; i < count.index; ++i) {
        ZipItem item;
        if (zip.GetItem(i, &item) != ZR_OK) continue;
        std::vector<char> buffer(static_cast<size_t>(item.uncompressedSize) + 1);
        zip.UnzipItem(i, buffer.data(), static_cast<size_t>(item.uncompressedSize));
    }
}

}  // namespace

TEST(ZipArchive, ReadsStoredDeflatedAndFolderEntriesOfTheZipCommand)
{
    Fixture f("zipcmd.zip");
    ASSERT_TRUE(f.ok);
    ZipArchive& zip = f.zip;
    const std::vector<ZipItem> l = List(zip);
    ASSERT_EQ(l.size(), 3u);
    EXPECT_STREQ(l[0].name, "text.txt");
    EXPECT_LT(l[0].compressedSize, l[0].uncompressedSize);  // deflated
    EXPECT_EQ(l[0].attributes, static_cast<uint32_t>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_STREQ(l[1].name, "dir/");
    EXPECT_TRUE(l[1].attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_STREQ(l[2].name, "dir/raw.bin");
    EXPECT_EQ(l[2].compressedSize, 300);  // stored
    EXPECT_EQ(Unzip(zip, 0, l[0].uncompressedSize), ExpectedText());
    EXPECT_EQ(Unzip(zip, 2, 300), ExpectedRaw());
    ZipItem past;
    EXPECT_EQ(zip.GetItem(3, &past), ZR_ARGS);

    // A destination that is too small is filled and reports more.
    for (int index : {0, 2}) {  // deflated, stored
        char buffer[100];
        size_t written = 0;
        EXPECT_EQ(zip.UnzipItem(index, buffer, sizeof(buffer), &written), ZR_MORE);
        EXPECT_EQ(written, sizeof(buffer));
        EXPECT_EQ(std::string(buffer, sizeof(buffer)), (index == 0 ? ExpectedText() : ExpectedRaw()).substr(0, 100));
    }
}

TEST(ZipArchive, ReadsArchivesBehindASelfExtractingPrefix)
{
    for (const char* name : {"zipcmd_sfx.zip", "zipcmd_sfx_adjusted.zip"}) {
        SCOPED_TRACE(name);
        Fixture f(name);
        ASSERT_TRUE(f.ok);
        ZipArchive& zip = f.zip;
        const std::vector<ZipItem> l = List(zip);
        ASSERT_EQ(l.size(), 3u);
        EXPECT_EQ(Unzip(zip, 0, l[0].uncompressedSize), ExpectedText());
        EXPECT_EQ(Unzip(zip, 2, 300), ExpectedRaw());
    }
}

TEST(ZipArchive, ReadsPythonArchivesWithLongestCommentDuplicatesAndLongNames)
{
    for (const char* name : {"python.zip", "python_stray.zip"}) {
        SCOPED_TRACE(name);
        Fixture f(name);
        ASSERT_TRUE(f.ok);
        ASSERT_GT(f.guarded.size(), 65535u);
        ZipArchive& zip = f.zip;
        const std::vector<ZipItem> l = List(zip);
        ASSERT_EQ(l.size(), 6u);
        EXPECT_STREQ(l[0].name, "stored.txt");
        EXPECT_EQ(l[0].compressedSize, l[0].uncompressedSize);
        std::string stored;
        for (int i = 0; i < 20; ++i) stored += "stored bytes\n";
        EXPECT_EQ(Unzip(zip, 0, l[0].uncompressedSize), stored);
        std::string deflated;
        for (int i = 0; i < 200; ++i) deflated += "deflated text ";
        EXPECT_EQ(Unzip(zip, 1, l[1].uncompressedSize), deflated);
        EXPECT_TRUE(l[2].attributes & FILE_ATTRIBUTE_DIRECTORY);
        EXPECT_STREQ(l[3].name, "dup.txt");
        EXPECT_STREQ(l[4].name, "dup.txt");
        EXPECT_EQ(Unzip(zip, 3, 5), "first");
        EXPECT_EQ(Unzip(zip, 4, 6), "second");
        // A name of 309 bytes is cut to 259.
        EXPECT_EQ(std::strlen(l[5].name), 259u);
        EXPECT_EQ(std::string(l[5].name, 5), "long/");
        EXPECT_EQ(Unzip(zip, 5, 4), "long");
    }
}

TEST(ZipArchive, RefusesTruncatedArchivesWithoutReadingPastTheEnd)
{
    const std::vector<uint8_t> bytes = ReadBuildFile("tests/skin/fixtures/zipcmd.zip");
    ASSERT_FALSE(bytes.empty());
    for (size_t length = 0; length < bytes.size(); ++length) {
        GuardedBytes guarded(bytes.data(), length);
        ZipArchive zip;
        // Without its end record the archive cannot be opened at all.
        EXPECT_NE(zip.Open(guarded.data(), guarded.size()), ZR_OK) << length;
    }
    // Cutting the front away loses the entries and the directory.
    for (size_t cut = 1; cut < bytes.size(); cut += 7) {
        GuardedBytes guarded(bytes.data() + cut, bytes.size() - cut);
        ReadAll(guarded.data(), guarded.size());
    }
    ZipArchive zip;
    ZipItem item;
    EXPECT_EQ(zip.GetItem(0, &item), ZR_NOTOPEN);
}

TEST(ZipArchive, CorruptedBytesFailOrStillGiveTheTrueContent)
{
    const std::vector<uint8_t> bytes = ReadBuildFile("tests/skin/fixtures/zipcmd.zip");
    ASSERT_FALSE(bytes.empty());
    const std::string text = ExpectedText(), raw = ExpectedRaw();
    for (size_t at = 0; at < bytes.size(); ++at) {
        for (uint8_t flip : {0xFF, 0x01, 0x80}) {
            std::vector<uint8_t> damaged = bytes;
            damaged[at] ^= flip;
            GuardedBytes guarded(damaged);
            ReadAll(guarded.data(), guarded.size());
            // Whatever is extracted successfully is the real content.
            ZipArchive zip;
            if (zip.Open(guarded.data(), guarded.size()) != ZR_OK) continue;
            std::string out(text.size(), '\0');
            if (zip.UnzipItem(0, out.data(), out.size()) == ZR_OK) {
                EXPECT_EQ(out, text) << at;
            }
            std::string out2(raw.size(), '\0');
            if (zip.UnzipItem(2, out2.data(), out2.size()) == ZR_OK) {
                EXPECT_EQ(out2, raw) << at;
            }
        }
    }
}

TEST(ZipArchive, RefusesRecordsThatPointOutsideTheData)
{
    // An end record alone whose directory lies beyond the data, then one whose entry counts disagree.
    const uint8_t end[22] = {'P', 'K', 5, 6, 0, 0, 0, 0, 1, 0, 1, 0, 46, 0, 0, 0, 0xF0, 0xFF, 0xFF, 0x7F, 0, 0};
    const uint8_t disagree[22] = {'P', 'K', 5, 6, 0, 0, 0, 0, 2, 0, 1, 0};
    for (const uint8_t* record : {static_cast<const uint8_t*>(end), disagree}) {
        GuardedBytes guarded(record, sizeof(end));
        ZipArchive zip;
        EXPECT_EQ(zip.Open(guarded.data(), guarded.size()), ZR_CORRUPT);
    }

    // A well-formed archive whose central header then claims a size far
    // beyond what its few compressed bytes could inflate to, and a local
    // header offset past the end.
    std::vector<uint8_t> bytes = ReadBuildFile("tests/skin/fixtures/zipcmd.zip");
    ASSERT_FALSE(bytes.empty());
    const char signature[] = "PK\x01\x02";
    const size_t central = std::search(bytes.begin(), bytes.end(), signature, signature + 4) - bytes.begin();
    ASSERT_LT(central, bytes.size());
    std::vector<uint8_t> huge = bytes;
    const uint32_t hugeSize = 0x7FFFFFF0;
    std::memcpy(&huge[central + 24], &hugeSize, 4);
    std::vector<uint8_t> away = bytes;
    away[central + 45] = 0x70;
    for (const auto* variant : {&huge, &away}) {
        GuardedBytes guarded(*variant);
        ZipArchive zip;
        ASSERT_EQ(zip.Open(guarded.data(), guarded.size()), ZR_OK);
        ZipItem item;
        EXPECT_EQ(zip.GetItem(0, &item), ZR_CORRUPT);
        char buffer[16];
        EXPECT_NE(zip.UnzipItem(0, buffer, sizeof(buffer)), ZR_OK);
        EXPECT_EQ(zip.GetItem(2, &item), ZR_OK);  // the others stay readable
    }
}
