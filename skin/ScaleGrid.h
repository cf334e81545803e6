#pragma once
#include <cstdint>

// Nine-grid margins in pixels. All zero means no grid: the picture is
// stretched as a whole.
struct ScaleGrid {
    uint8_t left = 0;
    uint8_t top = 0;
    uint8_t right = 0;
    uint8_t bottom = 0;

    bool IsEmpty() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }

    // "l,t,r,b" (any one-character separator); each number keeps its low 8 bits.
    static ScaleGrid Parse(const char* text);
};
