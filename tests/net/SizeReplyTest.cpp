#include <gtest/gtest.h>

#include "net/ContentType.h"
#include "net/SizeReply.h"

TEST(SizeReply, OnlyAPackageReplyGivesASize)
{
    struct Row {
        const char* what;
        SizeReply reply;
        int64_t plain;   // Size(false)
        int64_t ranged;  // Size(true)
    } const rows[] = {
        {"the whole package", {200, "application/octet-stream", "123457", ""}, 123457, -1},
        {"no type", {200, "", "123457", ""}, 123457, -1},
        {"a range of it", {206, "application/octet-stream", "1", "bytes 0-0/123457"}, 123457, 123457},
        {"a range, the size not given", {206, "", "1", "bytes 0-0/*"}, -1, -1},
        {"a range without Content-Range", {206, "", "1", ""}, -1, -1},
        {"a captive portal's page", {200, "text/html", "499", ""}, -1, -1},
        {"its type with parameters", {200, " Text/HTML ; charset=utf-8", "499", ""}, -1, -1},
        {"a page with no length", {200, "text/plain", "", ""}, -1, -1},
        {"an error page", {503, "text/html", "162", ""}, -1, -1},
        {"a length that is no number", {200, "", "12x", ""}, -1, -1},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.reply.Size(false), row.plain) << row.what;
        EXPECT_EQ(row.reply.Size(true), row.ranged) << row.what;
    }
    for (const char* other : {"", "text/htmlx", "application/xhtml+xml", "text/plain; x=text/html", "text/ html"})
        EXPECT_FALSE(IsHtmlContentType(other)) << other;
    EXPECT_TRUE(IsHtmlContentType("TEXT/html;"));
}
