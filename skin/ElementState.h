#pragma once
#include <cstdint>

// Input state bits of a control, read by the button style when it paints.
enum : uint8_t {
    STATE_HOT = 0x01,       // cursor over it
    STATE_PRESSED = 0x02,   // held down
    STATE_CHECKED = 0x04,   // on state of a two-state button; drawn like pressed
    STATE_CAPTURED = 0x10,  // the window holds the mouse capture for it
    STATE_DISABLED = 0x20,  // ignores input, drawn with the disabled picture
};
