#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "ControllerTestSupport.h"
#include "controller/CLog.h"
#include "controller/PathUtil.h"

namespace {

void WriteLine(CLog& log, const char* name, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    log.Write(name, format, args);
    va_end(args);
}

}  // namespace

TEST(Log, LineFormatAndLinesFromTwoThreadsNeverInterleave)
{
    TempDir t;
    CLog log;
    ASSERT_TRUE(log.Open(t.File("x.log")));
    WriteLine(log, "CDownloader::DownQuorvex", "new task---%d\r\n", 3);
    std::string first = ReadFileBytes(t.File("x.log"));
    EXPECT_TRUE(
        std::regex_match(first, std::regex(R"(\[[-0-9: ]{19}\]\tCDownloader::DownQuorvex\tnew task---3\r\n\r\n)")))
        << first;

    const std::string a(700, 'a'), b(700, 'b');
    auto writer = [&log](const std::string& body) {
        for (int i = 0; i < 300; ++i) WriteLine(log, "T", "%s", body.c_str());
    };
    std::thread one(writer, a), two(writer, b);
    one.join();
    two.join();
    std::string text = ReadFileBytes(t.File("x.log")).substr(first.size());
    size_t lines = 0;
    for (size_t at = 0; at < text.size(); ++lines) {
        size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        std::string body = text.substr(at + 22, end - at - 22);
        EXPECT_TRUE(body == "T\t" + a || body == "T\t" + b) << "broken line " << lines;
        at = end + 2;
    }
    EXPECT_EQ(lines, 600u);
}

TEST(Log, DayFileOfAnEarlierRunIsAppendedTo)
{
    ControllerFolders f;
    const std::string path = f.appData + "\\Quorvex\\log\\" + TodayStamp() + ".log";
    EnsureDirectory(f.appData + "\\Quorvex");
    EnsureDirectory(f.appData + "\\Quorvex\\log");
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
    // A file where the folder should be: neither folder nor log can be made.
    ASSERT_TRUE(WriteFileBytes(f.appData + "\\Quorvex", "not a folder"));
    CDownloader d(f.Settings(kNoServer));
    CDownloaderProbe probe(d);
    d.DownQuorvex();
    EXPECT_TRUE(WaitFor([&] { return probe.TaskState(1) == TASK_RUNNING; }));
    d.Exit(2);
    EXPECT_EQ(ReadFileBytes(f.appData + "\\Quorvex"), "not a folder");
}
