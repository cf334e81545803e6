#include <gtest/gtest.h>

#include <regex>

#include "ControllerTestSupport.h"
#include "controller/PathUtil.h"

TEST(ControllerLog, DailyFileAndLineFormat)
{
    ControllerFolders f;
    {
        CDownloader d(f.Settings(kNoServer));
        d.Log("CDownloader::Test", "value %d and %s", 42, "text");
        d.Exit(1);
    }
    EXPECT_EQ(f.LogPath(), f.appData + "\\Quorvex\\log\\" + TodayStamp() + ".log");
    std::string text = f.LogText();
    std::regex line(R"(\[(\d{4})-(\d\d)-(\d\d) \d\d:\d\d:\d\d\]\tCDownloader::Test\tvalue 42 and text\r\n)");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(text, m, line)) << text;
    EXPECT_EQ(m[1].str() + m[2].str() + m[3].str(), TodayStamp());
}

TEST(ControllerLog, DayFileOfEarlierRunIsAppendedTo)
{
    ControllerFolders f;
    std::string folder = f.appData + "\\Quorvex";
    EnsureDirectory(folder);
    EnsureDirectory(folder + "\\log");
    std::string path = folder + "\\log\\" + TodayStamp() + ".log";
    ASSERT_TRUE(WriteFileBytes(path, "earlier run\r\n"));
    {
        CDownloader d(f.Settings(kNoServer));
        d.Exit(1);
    }
    std::string text = ReadFileBytes(path);
    EXPECT_EQ(text.rfind("earlier run\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("good bye\r\n"), std::string::npos);
}

TEST(ControllerLog, LineAfterExitIsDroppedSilently)
{
    ControllerFolders f;
    CDownloader d(f.Settings(kNoServer));
    d.Exit(1);
    std::string before = f.LogText();
    d.Log("CDownloader::Late", "after exit %d", 1);
    d.Exit(1);  // a second exit finds nothing left to do
    EXPECT_EQ(f.LogText(), before);
    EXPECT_EQ(CountOf(before, "good bye"), 1u);
}

TEST(ControllerLog, UnwritableLogFolderLeavesInstallerWorking)
{
    ControllerFolders f;
    // A file where the folder should be: neither folder nor log can be made.
    ASSERT_TRUE(WriteFileBytes(f.appData + "\\Quorvex", "not a folder"));
    RecordingListener listener;
    CDownloader d(f.Settings(kNoServer));
    d.RegisterListener(&listener);
    d.DownQuorvex();
    CDownloaderProbe probe(d);
    EXPECT_TRUE(WaitFor([&] { return probe.TaskState(1) == TASK_RUNNING; }));
    d.Cancel();
    d.Exit(2);
    EXPECT_EQ(ReadFileBytes(f.appData + "\\Quorvex"), "not a folder");
}
