#pragma once
#include <cstddef>
#include <cstdint>

// Readers of the value forms used by window and style descriptions.

// Reads up to `count` signed decimal integers, each followed by exactly one
// separator character of any kind ("5,0,5,0" or "5 0 5 0"). Numbers that are
// missing read as 0; each number reads as far as its digits go (atol).
void ParseIntList(const char* text, int32_t* out, size_t count);

// Up to four such numbers, each kept in an unsigned byte (its low 8 bits).
void ParseByteList(const char* text, uint8_t* out, size_t count);

// "#" followed by hexadecimal digits, taken unchanged as a GDI colour value
// (lowest byte red: "#fffffe" is red 254). False, and `out` untouched,
// without "#".
bool ParseSkinColour(const char* text, uint32_t* out);
