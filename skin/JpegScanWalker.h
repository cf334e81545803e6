#pragma once
#include <cstddef>
#include <cstdint>

// Walks a JPEG's segments and entropy-coded scans the way stb_image 2.27
// decodes them, without making pixels, to find what that decoder leaves
// unchecked:
// - a scan that reads past its data: the decoder fills with zeros, and where
//   the data stops at a marker it shifts by more than a word holds;
// - a Huffman or quantisation table used before a segment defined it (the
//   decoder reads memory it never wrote);
// - a block no scan decoded, or progressive refinement of a block no DC scan
//   set: the picture would show whatever the decoder's memory held.
class JpegScanWalker {
public:
    // True for bytes that are not a JPEG, and for a JPEG the decoder can
    // take; false for one it would fail on or must not be given.
    [[nodiscard]] static bool Accepts(const uint8_t* bytes, size_t length);
};
