// The history file, and what its writer makes of what was read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "controller/HistoryText.h"

namespace {

HistoryItems Reparse(const std::string& printed)
{
    std::vector<char> text(printed.begin(), printed.end());
    text.push_back('\0');
    HistoryItems items;
    FUZZ_CHECK(ParseHistoryText(text.data(), &items));
    return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    HistoryItems items;
    if (!ParseHistoryText(text.data(), &items)) {
        FUZZ_CHECK(items.empty());
        return 0;
    }
    for (const auto& entry : items) FUZZ_CHECK(entry.first == entry.second.first);
    // What the program writes reads back as the same entries.
    const std::string printed = PrintHistoryText(items);
    FUZZ_CHECK(Reparse(printed) == items);
    return 0;
}
