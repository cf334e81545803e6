#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <thread>

#include "platform/CLog.h"
#include "platform/LogFailedCall.h"
#include "support/TestFiles.h"

TEST(Log, LineFormatAndLinesFromTwoThreadsNeverInterleave)
{
    TempDir t;
    CLog log;
    ASSERT_TRUE(log.Open(t.File("x.log")));
    log.Line("CDownloader::DownQuorvex", "new task---%d\r\n", 3);
    std::string first = ReadFileBytes(t.File("x.log"));
    EXPECT_TRUE(
        std::regex_match(first, std::regex(R"(\[[-0-9: ]{19}\]\tCDownloader::DownQuorvex\tnew task---3\r\n\r\n)")))
        << first;

    const std::string a(700, 'a'), b(700, 'b');
    auto writer = [&log](const std::string& body) {
        for (int i = 0; i < 300; ++i) log.Line("T", "%s", body.c_str());
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

TEST(Log, FailedCallsGoToTheSharedLogWithTheirErrorAndPlace)
{
    TempDir t;
    LogFailedCall("here.cpp:1", "Dropped");  // no shared log: nothing happens
    {
        CLog log;
        ASSERT_TRUE(log.Open(t.File("shared.log")));
        CLog::SetShared(&log);
        SetLastError(ERROR_SHARING_VIOLATION);
        const int line = __LINE__ + 1;
        LOG_FAILED_CALL("MoveFileExW");
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << "kept for the caller";
        CLog::ReleaseShared(&log);
        LogFailedCall("here.cpp:2", "AfterRelease");
        std::string text = ReadFileBytes(t.File("shared.log"));
        EXPECT_NE(text.find("]\tLogTest.cpp:" + std::to_string(line) + "\tMoveFileExW failed, error 32\r\n"),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("AfterRelease"), std::string::npos);
        CLog::SetShared(&log);  // a log that goes away takes itself out
    }
    LogFailedCall("here.cpp:3", "AfterDestruction");
}
