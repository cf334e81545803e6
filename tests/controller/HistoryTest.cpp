#include <gtest/gtest.h>

#include "ControllerTestSupport.h"
#include "controller/DownloadHistory.h"
#include "platform/TextConvert.h"

namespace {

// rapidxml's printer ends the document with an empty line.
const char kEmpty[] = "<?xml version='1.0' encoding='utf-8' ?>\n<HistoryInfo/>\n\n";

std::string HistoryFile(const std::string& appData)
{
    return appData + "\\Quorvex\\Downloader\\hi.cfg";
}

} // namespace

TEST(History, FirstRunThenSortedEntriesByteForByte)
{
    TempDir t;
    DownloadHistory h;
    h.SetFolder(t.Path());
    h.Load();
    EXPECT_EQ(h.FilePath(), HistoryFile(t.Path()));
    EXPECT_EQ(ReadFileBytes(h.FilePath()), kEmpty);

    EXPECT_TRUE(h.Add("1.9.0.0", "bb"));
    EXPECT_TRUE(h.Add("1.10.0.0", "AA\"x<&"));
    // Sorted as text: 1.10 before 1.9; special characters escaped.
    EXPECT_EQ(ReadFileBytes(h.FilePath()),
              "<?xml version='1.0' encoding='utf-8' ?>\n<HistoryInfo>\n"
              "\t<Item ver=\"1.10.0.0\" md5='AA\"x&lt;&amp;'/>\n"
              "\t<Item ver=\"1.9.0.0\" md5=\"bb\"/>\n"
              "</HistoryInfo>\n\n");

    // A second load reads both back; a version already known is not
    // rewritten and keeps its first MD5.
    DownloadHistory again;
    again.SetFolder(t.Path());
    again.Load();
    ASSERT_EQ(again.Entries().size(), 2u);
    EXPECT_EQ(again.Entries().at("1.10.0.0").second, "AA\"x<&");
    ASSERT_TRUE(WriteFileBytes(again.FilePath(), "marker"));
    EXPECT_FALSE(again.Add("1.9.0.0", "cc"));
    EXPECT_EQ(ReadFileBytes(again.FilePath()), "marker");
    EXPECT_EQ(again.Entries().at("1.9.0.0").second, "bb");
}

TEST(History, HandEditedFileLoadsByNamePrefixAndFirstItemWins)
{
    TempDir t;
    DownloadHistory h;
    h.SetFolder(t.Path());
    ASSERT_TRUE(WriteFileBytes(h.FilePath(),
                               "<?xml version='1.0'?>\n<HistoryInfo>\n"
                               "<Item ver=\"2.0.0.1\" md5=\"first\" note=\"by hand\"/>\n"
                               "<Other version=\"2.0.0.1\" md5sum=\"second\"/>\n"
                               "<Entry verX=\"3.0.0.0\" md5=\"x\" md5b=\"y\"/>\n"
                               "</HistoryInfo>\n<HistoryInfo><Item ver=\"9.9.9.9\" md5=\"z\"/></HistoryInfo>"));
    h.Load();
    ASSERT_EQ(h.Entries().size(), 2u);
    EXPECT_EQ(h.Entries().at("2.0.0.1").second, "first");
    EXPECT_EQ(h.Entries().at("3.0.0.0").second, "y");  // a later matching attribute overwrites

    // The hand-written attribute is gone at the next rewrite.
    EXPECT_TRUE(h.Add("1.0.0.0", "m"));
    std::string text = ReadFileBytes(h.FilePath());
    EXPECT_EQ(text.find("note"), std::string::npos);
    EXPECT_NE(text.find("\t<Item ver=\"2.0.0.1\" md5=\"first\"/>\n"), std::string::npos) << text;
}

TEST(History, DamagedOrUnreadableFileLoadsAsEmpty)
{
    for (const char* bytes : {"<HistoryInfo><Item ver=\"1.0.0.0\"", "\xEF\xBB\xBF<<<>>>", "", "<Other/>"}) {
        TempDir t;
        DownloadHistory h;
        h.SetFolder(t.Path());
        ASSERT_TRUE(WriteFileBytes(h.FilePath(), bytes));
        h.Load();
        EXPECT_TRUE(h.Entries().empty()) << bytes;
        EXPECT_EQ(ReadFileBytes(h.FilePath()), bytes);  // loading never rewrites a present file
    }
    // The installer starts over a damaged history file.
    ControllerFolders f;
    ASSERT_TRUE(CreateDirectoryW(Utf8ToWide(f.appData + "\\Quorvex").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(Utf8ToWide(f.appData + "\\Quorvex\\Downloader").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(HistoryFile(f.appData), "<HistoryInfo><Item"));
    CDownloader d(f.Settings(kNoServer));
    d.Exit(1);
}

TEST(History, FailedRewriteKeepsTheOldFile)
{
    TempDir t;
    DownloadHistory h;
    h.SetFolder(t.Path());
    h.Load();
    ASSERT_TRUE(h.Add("1.0.0.0", "a"));
    std::string before = ReadFileBytes(h.FilePath());
    // A folder where the replacement is written makes the rewrite fail.
    ASSERT_TRUE(CreateDirectoryW(Utf8ToWide(h.FilePath() + ".new").c_str(), nullptr));
    EXPECT_FALSE(h.Add("2.0.0.0", "b"));
    EXPECT_EQ(ReadFileBytes(h.FilePath()), before);
    // The entry stays in memory and is written with the next new version.
    RemoveDirectoryW(Utf8ToWide(h.FilePath() + ".new").c_str());
    EXPECT_TRUE(h.Add("3.0.0.0", "c"));
    EXPECT_NE(ReadFileBytes(h.FilePath()).find("ver=\"2.0.0.0\""), std::string::npos);
}
