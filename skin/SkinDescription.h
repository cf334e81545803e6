#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What the skin's XML descriptions say, read from their text alone: names
// are kept as their HashName, values as text. Building windows and styles
// from them is left to their users.

struct SkinAttribute {
    uint32_t name = 0;  // HashName of the attribute's name
    std::string value;
};

// One element of a window description and, for a Canvas, what it holds.
struct SkinElement {
    uint32_t name = 0;  // HashName of a recognised element name
    std::vector<SkinAttribute> attributes;
    std::vector<SkinElement> children;
};

// A window description: the Window element's attributes and its root element.
struct WindowDescription {
    // Containers nest at most this deep, the root container included.
    static const int kMaxDepth = 16;

    std::vector<SkinAttribute> window;
    bool hasRoot = false;
    SkinElement root;

    // False when the text is not well-formed or its first node is not Window.
    // The root element is the first recognised child of Window; children of
    // Window after it are not read, and elements with other names are skipped
    // with what they contain. A description nesting containers deeper than
    // kMaxDepth gets no root element.
    static bool Parse(const char* text, WindowDescription* out);
};

// A style description: the kind named by the first attribute of Config, and
// the attributes of Config's first Prop child.
struct StyleDescription {
    uint32_t kind = 0;  // HashName of the kind's value
    std::vector<SkinAttribute> props;

    // False when the text is not well-formed or lacks Style, Config or a kind.
    static bool Parse(const char* text, StyleDescription* out);
};
