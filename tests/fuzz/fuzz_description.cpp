// Window descriptions of the skin, and the values of their attributes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzCheck.h"
#include "skin/HashName.h"
#include "skin/SkinDescription.h"
#include "skin/SkinValue.h"

namespace {

void ReadValues(const std::vector<SkinAttribute>& attributes, size_t size)
{
    for (const SkinAttribute& a : attributes) {
        FUZZ_CHECK(a.value.size() <= size);
        int32_t numbers[4];
        uint8_t bytes[4];
        uint32_t colour = 0;
        switch (a.name) {
        case HashName("initSize"): ParseIntList(a.value.c_str(), numbers, 2); break;
        case HashName("shadowRect"):
        case HashName("anchor"): ParseIntList(a.value.c_str(), numbers, 4); break;
        case HashName("border"):
        case HashName("padding"): ParseByteList(a.value.c_str(), bytes, 4); break;
        case HashName("roundCorner"): ParseByteList(a.value.c_str(), bytes, 2); break;
        case HashName("color"): ParseSkinColour(a.value.c_str(), &colour); break;
        default: (void)std::atol(a.value.c_str()); break;
        }
    }
}

// Elements nest no deeper than the loader builds; only a Canvas holds any.
void Walk(const SkinElement& element, int depth, size_t size)
{
    FUZZ_CHECK(depth <= WindowDescription::kMaxDepth + 1);
    FUZZ_CHECK(element.children.empty() || element.name == HashName("Canvas"));
    ReadValues(element.attributes, size);
    for (const SkinElement& child : element.children) Walk(child, depth + 1, size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    WindowDescription window;
    if (!WindowDescription::Parse(text.c_str(), &window)) return 0;
    ReadValues(window.window, size);
    if (window.hasRoot) Walk(window.root, 1, size);
    return 0;
}
