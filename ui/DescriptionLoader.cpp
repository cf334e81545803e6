#include "ui/DescriptionLoader.h"
#include <rapidxml.hpp>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "platform/TextConvert.h"
#include "skin/HashName.h"
#include "skin/ResourceStore.h"
#include "skin/SkinValue.h"
#include "ui/dxButton.h"
#include "ui/dxCanvas.h"
#include "ui/dxImage.h"
#include "ui/dxLabel.h"
#include "ui/dxLinkButton.h"
#include "ui/dxProgressCtrl.h"
#include "ui/dxWindowImpl.h"

namespace {

using Node = rapidxml::xml_node<char>;

std::unique_ptr<dxControl> MakeElement(uint32_t nameHash)
{
    switch (nameHash) {
    case HashName("Canvas"): return std::make_unique<dxCanvas>();
    case HashName("Image"): return std::make_unique<dxImage>();
    case HashName("ProgressCtrl"): return std::make_unique<dxProgressCtrl>();
    case HashName("Label"): return std::make_unique<dxLabel>();
    case HashName("Button"): return std::make_unique<dxButton>();
    case HashName("LinkButton"): return std::make_unique<dxLinkButton>();
    default: return nullptr;
    }
}

// Forgets the ids of elements that are about to be destroyed.
void ForgetIds(dxWindowImpl* window, const std::vector<dxControl*>& elements)
{
    for (auto it = window->idMap.begin(); it != window->idMap.end();) {
        if (std::find(elements.begin(), elements.end(), it->second) != elements.end())
            it = window->idMap.erase(it);
        else
            ++it;
    }
}

}  // namespace

bool DescriptionLoader::LoadDescription(dxWindowImpl* window, const char* name)
{
    window->initSize = {0, 0};
    BuildWindow(name, window);

    HWND hwnd = window->hwnd;
    LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    style &= ~WS_CAPTION;
    style |= WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    SetWindowLongW(hwnd, GWL_STYLE, style);

    if (window->initSize.cx > 0 && window->initSize.cy > 0)
        SetWindowPos(hwnd, nullptr, 0, 0, window->initSize.cx, window->initSize.cy, SWP_NOZORDER | SWP_NOMOVE);
    window->CenterOnOwner();
    return true;
}

bool DescriptionLoader::BuildWindow(const char* name, dxWindowImpl* window)
{
    ResourceStore* store = ResourceStore::Instance();
    const char* data = store && name ? store->GetData(name) : nullptr;
    if (!data) return false;
    // Own copy: the store's buffer is shared, and the parser writes into its text.
    std::vector<char> text(data, data + strlen(data) + 1);
    store->ReleaseData();

    rapidxml::xml_document<char> document;
    try {
        document.parse<0>(text.data());
    } catch (const rapidxml::parse_error&) {
        return false;
    }
    Node* root = document.first_node();
    if (!root || HashName(root->name()) != HashName("Window")) return false;

    for (auto* attribute = root->first_attribute(); attribute; attribute = attribute->next_attribute())
        window->SetAttribute(HashName(attribute->name()), attribute->value());

    window->children.emplace_back();
    if (Node* first = root->first_node()) window->children.back() = BuildElements(first, window);
    return true;
}

std::unique_ptr<dxControl> DescriptionLoader::BuildElements(Node* node, dxWindowImpl* window)
{
    struct Open {
        Node* node;
        dxCanvas* element;
    };
    Open stack[MaxDepth];
    int depth = 0;
    std::unique_ptr<dxControl> root;
    std::vector<dxControl*> built;

    while (node) {
        const uint32_t nameHash = HashName(node->name());
        std::unique_ptr<dxControl> element =
            node->type() == rapidxml::node_element ? MakeElement(nameHash) : nullptr;
        if (element) {
            dxControl* raw = element.get();
            built.push_back(raw);
            raw->owner = window;
            ApplyAttributes(raw, node);
            if (depth > 0)
                stack[depth - 1].element->AddChild(std::move(element));
            else
                root = std::move(element);

            Node* firstChild = node->first_node();
            if (nameHash == HashName("Canvas") && firstChild) {
                if (depth == MaxDepth) {
                    // Too deep to build safely: refuse the whole description.
                    ForgetIds(window, built);
                    return nullptr;
                }
                stack[depth++] = {node, static_cast<dxCanvas*>(raw)};
                node = firstChild;
                continue;
            }
            if (depth == 0) return root;
        }
        node = node->next_sibling();
        while (!node) {
            if (depth <= 1) return root;
            --depth;
            node = stack[depth].node->next_sibling();
        }
    }
    return root;
}

void DescriptionLoader::ApplyAttributes(dxControl* element, Node* node)
{
    for (auto* attribute = node->first_attribute(); attribute; attribute = attribute->next_attribute()) {
        const char* value = attribute->value();
        if (!*value) continue;
        const uint32_t nameHash = HashName(attribute->name());
        switch (nameHash) {
        case HashName("id"):
            if (element->id == 0) {
                element->id = static_cast<int32_t>(atol(value));
                // A repeated id keeps the element that came first.
                if (element->id != 0 && element->owner) element->owner->idMap.emplace(element->id, element);
            }
            break;
        case HashName("x"): element->x = static_cast<int32_t>(atol(value)); break;
        case HashName("y"): element->y = static_cast<int32_t>(atol(value)); break;
        case HashName("width"): element->width = static_cast<int32_t>(atol(value)); break;
        case HashName("height"): element->height = static_cast<int32_t>(atol(value)); break;
        case HashName("visible"):
            if (strcmp(value, "0") == 0) element->flags &= ~FLAG_VISIBLE;
            break;
        case HashName("horizontalAlign"):
            if (strcmp(value, "center") == 0) element->flags |= ALIGN_HCENTER;
            break;
        case HashName("verticalAlign"):
            if (strcmp(value, "center") == 0) element->flags |= ALIGN_VCENTER;
            break;
        case HashName("tooltip"):
            if (element->tooltip.empty()) element->tooltip = Utf8ToWide(value);
            break;
        case HashName("padding"): ParseByteList(value, element->padding, 4); break;
        case HashName("margin"): {
            const int32_t both = static_cast<uint8_t>(atol(value));
            element->x = both;
            element->y = both;
            break;
        }
        case HashName("anchor"): {
            int32_t numbers[4] = {0, 0, 0, 0};
            ParseIntList(value, numbers, 4);
            element->x = numbers[0];
            element->y = numbers[1];
            break;
        }
        case HashName("style"): {
            ResourceStore* store = ResourceStore::Instance();
            element->style = store ? store->GetStyle(value) : nullptr;
            break;
        }
        default:
            element->SetAttribute(nameHash, value);
            break;
        }
    }
}
