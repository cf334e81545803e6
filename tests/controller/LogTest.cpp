#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>

#include "controller/CLog.h"
#include "support/TestFiles.h"

namespace {

void WriteLine(CLog& log, const char* name, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    log.Write(name, format, args);
    va_end(args);
}

} // namespace

TEST(Log, LineFormatWithTrailingEmptyLine)
{
    TempDir t;
    CLog log;
    ASSERT_TRUE(log.Open(t.File("x.log")));
    WriteLine(log, "CDownloader::DownQuorvex", "new task---%d\r\n", 3);
    std::string written = ReadFileBytes(t.File("x.log"));
    EXPECT_TRUE(std::regex_match(written, std::regex(R"(\[[-0-9: ]{19}\]\tCDownloader::DownQuorvex\tnew task---3\r\n\r\n)")))
        << written;
}

TEST(Log, LinesFromTwoThreadsNeverInterleave)
{
    TempDir t;
    CLog log;
    ASSERT_TRUE(log.Open(t.File("x.log")));
    const std::string a(700, 'a'), b(700, 'b');
    auto writer = [&log](const std::string& body) {
        for (int i = 0; i < 300; ++i) WriteLine(log, "T", "%s", body.c_str());
    };
    std::thread first(writer, a), second(writer, b);
    first.join();
    second.join();

    std::string text = ReadFileBytes(t.File("x.log"));
    size_t lines = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        std::string body = text.substr(at + 22, end - at - 22);
        EXPECT_TRUE(body == "T\t" + a || body == "T\t" + b) << "broken line " << lines;
        at = end + 2;
        ++lines;
    }
    EXPECT_EQ(lines, 600u);
}
