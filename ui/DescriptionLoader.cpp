#include "ui/DescriptionLoader.h"
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
        SetWindowPos(hwnd, nullptr, 0, 0, window->dpi.Scale(window->initSize.cx),
                     window->dpi.Scale(window->initSize.cy), SWP_NOZORDER | SWP_NOMOVE);
    window->CenterOnOwner();
    return true;
}

bool DescriptionLoader::BuildWindow(const char* name, dxWindowImpl* window)
{
    ResourceStore* store = ResourceStore::Instance();
    const char* data = store && name ? store->GetData(name) : nullptr;
    if (!data) return false;
    WindowDescription description;
    const bool parsed = WindowDescription::Parse(data, &description);
    store->ReleaseData();
    if (!parsed) return false;

    for (const SkinAttribute& attribute : description.window)
        window->SetAttribute(attribute.name, attribute.value.c_str());

    window->children.emplace_back();
    if (description.hasRoot) window->children.back() = BuildElements(description.root, window);
    return true;
}

std::unique_ptr<dxControl> DescriptionLoader::BuildElements(const SkinElement& description, dxWindowImpl* window)
{
    std::unique_ptr<dxControl> element = MakeElement(description.name);
    if (!element) return nullptr;
    element->owner = window;
    ApplyAttributes(element.get(), description.attributes);
    // Only a Canvas has children, and the description nests them boundedly.
    for (const SkinElement& child : description.children) {
        if (std::unique_ptr<dxControl> built = BuildElements(child, window))
            static_cast<dxCanvas*>(element.get())->AddChild(std::move(built));
    }
    return element;
}

void DescriptionLoader::ApplyAttributes(dxControl* element, const std::vector<SkinAttribute>& attributes)
{
    for (const SkinAttribute& attribute : attributes) {
        const char* value = attribute.value.c_str();
        if (!*value) continue;
        const uint32_t nameHash = attribute.name;
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
        default: element->SetAttribute(nameHash, value); break;
        }
    }
}
