#include <gtest/gtest.h>

#include <regex>

#include "ControllerTestSupport.h"
#include "controller/PathUtil.h"

TEST(Log, DayFileOfAnEarlierRunIsAppendedTo)
{
    ControllerFolders f;
    const std::string path = f.appData + "\\Quorvex\\log\\" + TodayStamp() + ".log";
    ASSERT_EQ(MakeAppDataFolder(f.appData, "log"), f.appData + "\\Quorvex\\log");
    ASSERT_TRUE(WriteFileBytes(path, "earlier run\r\n"));
    {
        CDownloader d(f.Settings(kNoServer));
        d.Log("CDownloader::Test", "value %d and %s", 42, "text");
        d.Exit(1);
    }
    std::string text = ReadFileBytes(path);
    EXPECT_EQ(text.rfind("earlier run\r\n", 0), 0u) << text;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(text, m,
                                  std::regex(R"(\n\[(\d{4})-(\d\d)-(\d\d) \d\d:\d\d:\d\d\]\t)"
                                             R"(CDownloader::Test\tvalue 42 and text\r\n)")))
        << text;
    EXPECT_EQ(m[1].str() + m[2].str() + m[3].str(), TodayStamp());
}

TEST(Log, UnwritableLogFolderLeavesTheInstallerWorking)
{
    ControllerFolders f;
    const std::string key = f.UseNewKey();
    // A file where the folder should be: neither folder nor log can be made.
    ASSERT_TRUE(WriteFileBytes(f.appData + "\\Quorvex", "not a folder"));
    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    d.DownQuorvex();
    EXPECT_TRUE(WaitFor([&] { return !RequestsTo(key, "/get_download_device_xml.php").empty(); }));
    d.Exit(2);
    EXPECT_EQ(ReadFileBytes(f.appData + "\\Quorvex"), "not a folder");
}
