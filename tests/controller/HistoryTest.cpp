#include <gtest/gtest.h>

#include "ControllerTestSupport.h"
#include "controller/DownloadHistory.h"

namespace {

DownloadHistory LoadedHistory(const std::string& appData)
{
    DownloadHistory h;
    h.SetFolder(appData);
    h.Load();
    return h;
}

}  // namespace

TEST(History, FileByteForByteAcrossRunsAndHandEdits)
{
    TempDir t;
    DownloadHistory h = LoadedHistory(t.Path());
    EXPECT_EQ(h.FilePath(), t.Path() + "\\Quorvex\\Downloader\\hi.cfg");
    // rapidxml's printer ends the document with an empty line.
    EXPECT_EQ(ReadFileBytes(h.FilePath()), "<?xml version='1.0' encoding='utf-8' ?>\n<HistoryInfo/>\n\n");
    EXPECT_TRUE(h.Add("1.9.0.0", "bb"));
    EXPECT_TRUE(h.Add("1.10.0.0", "AA\"x<&"));
    // Sorted as text: 1.10 before 1.9; special characters escaped.
    EXPECT_EQ(ReadFileBytes(h.FilePath()), "<?xml version='1.0' encoding='utf-8' ?>\n<HistoryInfo>\n"
                                           "\t<Item ver=\"1.10.0.0\" md5='AA\"x&lt;&amp;'/>\n"
                                           "\t<Item ver=\"1.9.0.0\" md5=\"bb\"/>\n"
                                           "</HistoryInfo>\n\n");

    // A later run reads both back; a version it knows is not rewritten and keeps its first MD5.
    DownloadHistory again = LoadedHistory(t.Path());
    ASSERT_EQ(again.Entries().size(), 2u);
    EXPECT_EQ(again.Entries().at("1.10.0.0").second, "AA\"x<&");
    ASSERT_TRUE(WriteFileBytes(again.FilePath(), "marker"));
    EXPECT_FALSE(again.Add("1.9.0.0", "cc"));
    EXPECT_EQ(ReadFileBytes(again.FilePath()), "marker");

    // A hand-edited file: names by prefix, every sibling counts, the first item of a version wins.
    ASSERT_TRUE(WriteFileBytes(h.FilePath(), "<?xml version='1.0'?>\n<HistoryInfo>\n"
                                             "<Item ver=\"2.0.0.1\" md5=\"first\" note=\"by hand\"/>\n"
                                             "<Other version=\"2.0.0.1\" md5sum=\"second\"/>\n"
                                             "<Entry verX=\"3.0.0.0\" md5=\"x\" md5b=\"y\"/>\n</HistoryInfo>\n"
                                             "<HistoryInfo><Item ver=\"9.9.9.9\" md5=\"z\"/></HistoryInfo>"));
    DownloadHistory edited = LoadedHistory(t.Path());
    ASSERT_EQ(edited.Entries().size(), 2u);
    EXPECT_EQ(edited.Entries().at("2.0.0.1").second, "first");
    EXPECT_EQ(edited.Entries().at("3.0.0.0").second, "y");  // a later matching attribute overwrites
    EXPECT_TRUE(edited.Add("1.0.0.0", "m"));
    std::string text = ReadFileBytes(h.FilePath());
    EXPECT_EQ(text.find("note"), std::string::npos);
    EXPECT_NE(text.find("\t<Item ver=\"2.0.0.1\" md5=\"first\"/>\n"), std::string::npos) << text;

    // A failed rewrite (a folder where the replacement is written) keeps the old file;
    // the entry stays in memory and is written with the next new version.
    ASSERT_TRUE(CreateDirectoryW(Utf8ToWide(h.FilePath() + ".new").c_str(), nullptr));
    EXPECT_FALSE(edited.Add("4.0.0.0", "b"));
    EXPECT_EQ(ReadFileBytes(h.FilePath()), text);
    RemoveDirectoryW(Utf8ToWide(h.FilePath() + ".new").c_str());
    EXPECT_TRUE(edited.Add("5.0.0.0", "c"));
    EXPECT_NE(ReadFileBytes(h.FilePath()).find("\t<Item ver=\"4.0.0.0\" md5=\"b\"/>\n"), std::string::npos);
}

TEST(History, DamagedFileLoadsAsEmptyAndTheInstallerStarts)
{
    for (const std::string& bytes :
         {std::string("<HistoryInfo><Item ver=\"1.0.0.0\""), std::string("\xEF\xBB\xBF<<<>>>"), std::string(),
          std::string("<Other/>"), "<HistoryInfo>" + DeeplyNested(""),
          // a part no run could have offered
          std::string("<HistoryInfo><Item ver=\"1.2.3.99999999999\" md5=\"a\"/></HistoryInfo>")}) {
        ControllerFolders f;
        DownloadHistory h;
        h.SetFolder(f.appData);
        ASSERT_TRUE(WriteFileBytes(h.FilePath(), bytes));
        h.Load();
        EXPECT_TRUE(h.Entries().empty()) << bytes.substr(0, 40);
        EXPECT_EQ(ReadFileBytes(h.FilePath()), bytes);  // loading never rewrites a present file
        CDownloader d(f.Settings(kNoServer));
        d.Exit(1);
    }
}
