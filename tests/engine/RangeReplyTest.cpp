#include <gtest/gtest.h>

#include "engine/RangeReply.h"
#include "net/ContentRange.h"

namespace {
using Verdict = RangeReply::Verdict;
const int64_t kNone = RangeReply::kUnknown;
const RangeReply::Validator kKept{"\"v1\"", "Mon, 07 Dec 2026 10:00:00 GMT"};
}  // namespace

// Replies to a request for bytes 4096-8191 (or 0-4095) of a 10000-byte file
// whose first reply gave the validator kKept.
TEST(RangeReply, OnlyTheAskedBytesOfThisFileAreUsed)
{
    struct Row {
        const char* what;
        int64_t first;
        uint32_t status;
        const char* contentRange;
        int64_t contentLength;
        RangeReply::Validator validator;
        Verdict verdict;
        int64_t usableLast;
    } const rows[] = {
        {"the range asked for", 4096, 206, "bytes 4096-8191/10000", 4096, kKept, Verdict::Use, 8191},
        {"no length, no validator", 4096, 206, "Bytes  4096-8191/10000", kNone, {}, Verdict::Use, 8191},
        {"shorter than asked: its bytes count", 4096, 206, "bytes 4096-5000/10000", 905, kKept, Verdict::Use, 5000},
        {"longer than asked: read no further", 4096, 206, "bytes 4096-9999/10000", 5904, kKept, Verdict::Use, 8191},
        {"length disagrees with the range", 4096, 206, "bytes 4096-8191/10000", 5904, kKept, Verdict::Refuse, kNone},
        {"another first byte", 4096, 206, "bytes 0-8191/10000", kNone, kKept, Verdict::Refuse, kNone},
        {"another file's size", 4096, 206, "bytes 4096-8191/12000", kNone, kKept, Verdict::Refuse, kNone},
        {"size not given", 4096, 206, "bytes 4096-8191/*", kNone, kKept, Verdict::Refuse, kNone},
        {"no Content-Range", 4096, 206, "", kNone, kKept, Verdict::Refuse, kNone},
        {"broken Content-Range", 4096, 206, "bytes 4096-4095/10000", kNone, kKept, Verdict::Refuse, kNone},
        // Another validator for bytes of this size: another node of a farm,
        // or another file, until bytes are compared.
        {"another validator", 4096, 206, "bytes 4096-8191/10000", 4096, {"\"v2\"", ""}, Verdict::Unproven, kNone},
        {"only the date, another", 4096, 206, "bytes 4096-8191/10000", 4096, {"", "Tue"}, Verdict::Unproven, kNone},
        {"another validator and size", 4096, 206, "bytes 4096-8191/12000", kNone, {"\"v2\""}, Verdict::Refuse, kNone},
        {"the whole file past byte 0", 4096, 200, "", 10000, kKept, Verdict::Refuse, kNone},
        {"the whole file, another validator (If-Range)", 4096, 200, "", 10000, {"\"v2\""}, Verdict::Unproven, kNone},
        {"a page with another validator", 4096, 200, "", 162, {"\"v2\""}, Verdict::Refuse, kNone},
        {"an error page", 4096, 404, "", 162, kKept, Verdict::Refuse, kNone},
        {"not satisfiable", 4096, 416, "bytes */10000", 0, kKept, Verdict::Refuse, kNone},
        // From byte 0 the whole file will do, but only with its exact length:
        // a captive portal's page or a cut connection is not the package.
        {"the whole file from byte 0", 0, 200, "", 10000, kKept, Verdict::Use, 4095},
        {"the whole file without a length", 0, 200, "", kNone, kKept, Verdict::Refuse, kNone},
        {"the whole file of another length", 0, 200, "", 9000, kKept, Verdict::Refuse, kNone},
    };
    for (const Row& row : rows) {
        int64_t last = -2;
        const RangeReply::Reply reply{row.status, row.contentRange, row.contentLength, row.validator};
        const bool known = RangeReply::SameVersion(row.validator, kKept);
        EXPECT_EQ(RangeReply::Check(reply, row.first, row.first == 0 ? 4095 : 8191, 10000, known, last), row.verdict)
            << row.what;
        EXPECT_EQ(last, row.usableLast) << row.what;
    }
    // A captive portal's page is never the package, nor a sign that it was
    // replaced, whatever its length and validators say.
    for (const RangeReply::Validator& v : {kKept, RangeReply::Validator{"\"page\"", "Tue"}}) {
        RangeReply::Reply page{200, "", 10000, v, "text/html; charset=utf-8"};
        int64_t last = -2;
        EXPECT_EQ(RangeReply::Check(page, 0, 4095, 10000, RangeReply::SameVersion(v, kKept), last), Verdict::Refuse)
            << v.etag;
        EXPECT_EQ(last, kNone);
    }
    int64_t from = 0, to = 0, complete = 0;
    for (const char* broken : {"bytes 4096-8191/8191", "items 4096-8191/10000", "bytes 4096-/10000",
                               "bytes 4096-8191/10000x", "bytes -1-8191/10000", "bytes 99999999999999999999-1/10000"})
        EXPECT_FALSE(ParseContentRange(broken, from, to, complete)) << broken;

    // Values of one kind tell versions apart, ETags first.
    EXPECT_TRUE(RangeReply::SameVersion({"\"v1\"", "Tue"}, kKept));
    EXPECT_FALSE(RangeReply::SameVersion({"\"v2\"", kKept.lastModified}, kKept));
    EXPECT_TRUE(RangeReply::SameVersion({}, kKept));

    // What goes back in If-Range: a strong ETag, else the date; nothing that
    // could not be sent as it came.
    EXPECT_EQ(RangeReply::IfRange(kKept), "\"v1\"");
    EXPECT_EQ(RangeReply::IfRange(RangeReply::Received("W/\"v1\"", "Mon")), "Mon");
    EXPECT_EQ(RangeReply::IfRange(RangeReply::Received("\"v1\"\r\nX: y", "")), "");
}
