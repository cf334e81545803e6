#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <thread>

#include "controller/CLog.h"
#include "platform/TextConvert.h"

namespace {

// A folder of its own under %TEMP%; the log file in it is removed at the end.
class TempDir {
public:
    TempDir()
    {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        static LONG counter = 0;
        wchar_t name[MAX_PATH];
        swprintf(name, MAX_PATH, L"%lsqvx-log-%lu-%ld", base, GetCurrentProcessId(), InterlockedIncrement(&counter));
        CreateDirectoryW(name, nullptr);
        path_ = WideToUtf8(name);
    }
    ~TempDir()
    {
        DeleteFileW(Utf8ToWide(Sub("x.log")).c_str());
        RemoveDirectoryW(Utf8ToWide(path_).c_str());
    }
    std::string Sub(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

std::string ReadFileBytes(const std::string& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

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
    ASSERT_TRUE(log.Open(t.Sub("x.log")));
    WriteLine(log, "CDownloader::DownQuorvex", "new task---%d\r\n", 3);
    std::string written = ReadFileBytes(t.Sub("x.log"));
    EXPECT_TRUE(std::regex_match(written, std::regex(R"(\[[-0-9: ]{19}\]\tCDownloader::DownQuorvex\tnew task---3\r\n\r\n)")))
        << written;
}

TEST(Log, LinesFromTwoThreadsNeverInterleave)
{
    TempDir t;
    CLog log;
    ASSERT_TRUE(log.Open(t.Sub("x.log")));
    const std::string a(700, 'a'), b(700, 'b');
    auto writer = [&log](const std::string& body) {
        for (int i = 0; i < 300; ++i) WriteLine(log, "T", "%s", body.c_str());
    };
    std::thread first(writer, a), second(writer, b);
    first.join();
    second.join();

    std::string text = ReadFileBytes(t.Sub("x.log"));
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
