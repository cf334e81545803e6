#include <gtest/gtest.h>

#include "platform/TextConvert.h"

TEST(TextConvert, RoundTripsChineseText)
{
    const std::string utf8 = "\xE6\xAD\xA3\xE5\x9C\xA8\xE4\xB8\x8B\xE8\xBD\xBD";  // 正在下载
    std::wstring wide = Utf8ToWide(utf8);
    EXPECT_EQ(wide, L"\u6B63\u5728\u4E0B\u8F7D");
    EXPECT_EQ(WideToUtf8(wide), utf8);
    EXPECT_TRUE(Utf8ToWide("").empty());
    EXPECT_TRUE(WideToUtf8(L"").empty());
}

TEST(TextConvert, AnsiConversionKeepsAsciiAndEmpty)
{
    EXPECT_EQ(Utf8ToAnsi("C:\\plain\\path.exe"), "C:\\plain\\path.exe");
    EXPECT_EQ(Utf8ToAnsi(""), "");
}
