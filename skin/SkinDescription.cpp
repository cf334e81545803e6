#include "skin/SkinDescription.h"

#include <cstring>

#include <rapidxml.hpp>

#include "platform/XmlInput.h"
#include "skin/HashName.h"

namespace {

using Node = rapidxml::xml_node<char>;

bool IsElementName(uint32_t name)
{
    switch (name) {
    case HashName("Canvas"):
    case HashName("Image"):
    case HashName("ProgressCtrl"):
    case HashName("Label"):
    case HashName("Button"):
    case HashName("LinkButton"): return true;
    default: return false;
    }
}

std::vector<SkinAttribute> AttributesOf(const Node* node)
{
    std::vector<SkinAttribute> attributes;
    for (auto* a = node->first_attribute(); a; a = a->next_attribute())
        attributes.push_back({HashName(a->name()), std::string(a->value(), a->value_size())});
    return attributes;
}

// Reads `node` and its siblings into `parent`; at the top level (no parent)
// only the first recognised element is read. False when containers nest too
// deep.
bool ReadElements(const Node* node, int depth, SkinElement* parent, SkinElement* root, bool* found)
{
    for (; node; node = node->next_sibling()) {
        const uint32_t name = HashName(node->name());
        if (node->type() != rapidxml::node_element || !IsElementName(name)) continue;
        SkinElement* element = root;
        if (parent) {
            parent->children.emplace_back();
            element = &parent->children.back();
        }
        element->name = name;
        element->attributes = AttributesOf(node);
        if (name == HashName("Canvas") && node->first_node()) {
            if (depth == WindowDescription::kMaxDepth) return false;
            if (!ReadElements(node->first_node(), depth + 1, element, nullptr, nullptr)) return false;
        }
        if (!parent) {
            *found = true;
            return true;
        }
    }
    return true;
}

// The parser writes into its text; the caller's stays as it was.
bool ParseCopy(const char* text, std::vector<char>* buffer, rapidxml::xml_document<char>* doc)
{
    if (!text) return false;
    buffer->assign(text, text + std::strlen(text) + 1);
    return ParseXmlInput(*doc, buffer->data());
}

}  // namespace

bool WindowDescription::Parse(const char* text, WindowDescription* out)
{
    std::vector<char> buffer;
    rapidxml::xml_document<char> doc;
    if (!ParseCopy(text, &buffer, &doc)) return false;
    const Node* window = doc.first_node();
    if (!window || HashName(window->name()) != HashName("Window")) return false;

    WindowDescription description;
    description.window = AttributesOf(window);
    bool found = false;
    if (!ReadElements(window->first_node(), 0, nullptr, &description.root, &found)) {
        found = false;
        description.root = SkinElement();
    }
    description.hasRoot = found;
    *out = std::move(description);
    return true;
}

bool StyleDescription::Parse(const char* text, StyleDescription* out)
{
    std::vector<char> buffer;
    rapidxml::xml_document<char> doc;
    if (!ParseCopy(text, &buffer, &doc)) return false;
    const Node* root = doc.first_node("Style");
    const Node* config = root ? root->first_node("Config") : nullptr;
    const rapidxml::xml_attribute<char>* kind = config ? config->first_attribute() : nullptr;
    if (!kind) return false;

    StyleDescription description;
    description.kind = HashName(kind->value());
    if (const Node* prop = config->first_node("Prop")) description.props = AttributesOf(prop);
    *out = std::move(description);
    return true;
}
