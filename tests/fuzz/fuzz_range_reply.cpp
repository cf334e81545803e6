// The status and Content-Range of a reply to a range request.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "engine/RangeReply.h"
#include "net/ContentRange.h"
#include "net/ContentType.h"

namespace {

// The first bytes choose the status and the request's numbers; the rest is
// the Content-Range text.
template <class T>
T Take(const uint8_t*& data, size_t& size)
{
    T value{};
    const size_t n = size < sizeof(T) ? size : sizeof(T);
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const uint32_t statuses[] = {206, 200, 416, 0};
    const uint8_t pick = Take<uint8_t>(data, size);
    const uint32_t status = (pick & 3) == 3 ? Take<uint16_t>(data, size) : statuses[pick & 3];
    // Small numbers matter most: positions and sizes near the text's.
    const int64_t position = (pick & 4) ? Take<int64_t>(data, size) : Take<uint8_t>(data, size) * 4096;
    const int64_t totalSize = (pick & 8) ? Take<int64_t>(data, size) : Take<uint16_t>(data, size) * 16;
    const int64_t length =
        (pick & 16) ? RangeReply::kUnknown
                    : static_cast<int64_t>(static_cast<uint64_t>(totalSize) - static_cast<uint64_t>(position));
    const std::string contentRange(reinterpret_cast<const char*>(data), size);

    int64_t first = 0, last = 0, complete = 0;
    if (ParseContentRange(contentRange, first, last, complete)) {
        FUZZ_CHECK(first >= 0 && last >= first);
        FUZZ_CHECK(complete == RangeReply::kUnknown || complete > last);
    }
    // A reply whose validator is known to serve the file's bytes, or not.
    RangeReply::Reply reply{status, contentRange, length, {}};
    const bool known = !(pick & 32);
    if (pick & 64) reply.contentType = "text/html";
    const int64_t asked = position > INT64_MAX - 65535 ? position : position + 65535;
    int64_t usableLast = 0;
    switch (RangeReply::Check(reply, position, asked, totalSize, known, usableLast)) {
    case RangeReply::Verdict::Use:
        FUZZ_CHECK(known && (status == 200 || status == 206));
        FUZZ_CHECK(usableLast >= position && usableLast <= asked && usableLast < totalSize);
        if (status == 206) {
            int64_t to = 0;
            FUZZ_CHECK(ParseContentRange(contentRange, first, to, complete));
            FUZZ_CHECK(first == position && complete == totalSize && usableLast <= to);
        } else {
            FUZZ_CHECK(position == 0 && length == totalSize && !IsHtmlContentType(reply.contentType));
        }
        break;
    case RangeReply::Verdict::Unproven:
        FUZZ_CHECK(!known && usableLast == RangeReply::kUnknown);
        FUZZ_CHECK(status == 206 || (status == 200 && length == totalSize));
        break;
    case RangeReply::Verdict::Refuse: break;
    }
    return 0;
}
