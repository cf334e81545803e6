#include "ui/dxButton.h"
#include "platform/TextConvert.h"
#include "skin/HashName.h"
#include "skin/ResourceStore.h"
#include "skin/Style.h"
#include "ui/dxWindowImpl.h"

void dxButton::OnEvent(const dxEvent& event)
{
    const bool disabled = (state & STATE_DISABLED) != 0;
    switch (event.type) {
    case MouseEvent::Leave:
        state &= ~STATE_HOT;
        Invalidate();
        break;
    case MouseEvent::Enter:
        if (disabled) break;
        state |= STATE_HOT;
        Invalidate();
        break;
    case MouseEvent::ButtonDown:
        if (disabled) break;
        state |= STATE_PRESSED;
        Invalidate();
        if (owner) owner->SetFocusElement(this);
        break;
    case MouseEvent::ButtonUp: {
        if (disabled) break;
        state &= ~STATE_PRESSED;
        POINT pt = {event.x, event.y};
        // Letting go outside the button cancels the click.
        if (!PtInRect(&rect, pt)) break;
        Invalidate();
        Fire(ControlEvent::Click);
        break;
    }
    case MouseEvent::DoubleClick:
        if (disabled) break;
        state |= STATE_PRESSED;
        Invalidate();
        break;
    default: break;
    }
}

void dxButton::Paint(HDC dc, const RECT&)
{
    if (!style) {
        if (ResourceStore* store = ResourceStore::Instance()) style = store->defaultButtonStyle();
    }
    if (style) style->DrawElement(dc, Describe());
}

void dxButton::SetAttribute(uint32_t nameHash, const char* value)
{
    if (nameHash == HashName("text")) text = Utf8ToWide(value);
}

StyledElement dxButton::Describe() const
{
    StyledElement e = dxControl::Describe();
    e.text = text.c_str();
    ResourceStore* store = ResourceStore::Instance();
    e.font = store && owner ? store->ScaledFont(font, owner->dpi.dpi) : font;
    return e;
}

void dxButton::SetText(const std::wstring& value)
{
    text = value;
    Invalidate();
}
