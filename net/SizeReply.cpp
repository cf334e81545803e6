#include "net/SizeReply.h"

#include "net/ContentRange.h"
#include "net/ContentType.h"

namespace {
// Decimal digits alone, within 63 bits; -1 for anything else.
int64_t ParseLength(const std::string& text)
{
    if (text.empty() || text.size() > 18) return -1;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}
}  // namespace

int64_t SizeReply::Size(bool rangedOnly) const
{
    if (status == 206) {
        int64_t first = 0, last = 0, complete = 0;
        return ParseContentRange(contentRange, first, last, complete) ? complete : -1;
    }
    if (status == 200 && !rangedOnly && !IsHtmlContentType(contentType)) return ParseLength(contentLength);
    return -1;
}
