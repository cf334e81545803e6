// The site file beside the program.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "controller/SiteConfigText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<char> text(data, data + size);
    text.push_back('\0');  // the file is read whole and terminated
    std::string id = "4501648";
    if (!ParseSiteFileText(text.data(), &id)) {
        FUZZ_CHECK(id == "4501648");
        return 0;
    }
    FUZZ_CHECK(id.size() <= size);
    // The id goes into a file name, a URL and report forms unescaped.
    for (unsigned char c : id) FUZZ_CHECK(c > ' ' && c < 0x7F && c != '/' && c != '\\' && c != '&' && c != '%');
    return 0;
}
