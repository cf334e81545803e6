// Style descriptions of the skin, and the values their properties hold.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "skin/HashName.h"
#include "skin/ScaleGrid.h"
#include "skin/SkinDescription.h"
#include "skin/SkinValue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    StyleDescription style;
    if (!StyleDescription::Parse(text.c_str(), &style)) return 0;
    FUZZ_CHECK(style.kind <= 0x7FFFFFFFu);
    for (const SkinAttribute& prop : style.props) {
        FUZZ_CHECK(prop.value.size() <= size);
        switch (prop.name) {
        case HashName("scaleGrid"): ScaleGrid::Parse(prop.value.c_str()); break;
        case HashName("textColor"): {
            uint32_t colour = 0x12345678;
            const bool read = ParseSkinColour(prop.value.c_str(), &colour);
            FUZZ_CHECK(read == (prop.value[0] == '#') && (read || colour == 0x12345678));
            break;
        }
        default: break;
        }
    }
    return 0;
}
