#pragma once
#include <cstdint>
#include <string>

// The complete length of a Content-Range whose COMPLETE is "*".
constexpr int64_t kUnknownCompleteLength = -1;

// "bytes FIRST-LAST/COMPLETE" (the unit in any case, spaces around it and at
// the end allowed), with FIRST <= LAST < COMPLETE; COMPLETE "*" gives
// kUnknownCompleteLength. False for anything else; the outs are then
// unspecified.
[[nodiscard]] bool ParseContentRange(const std::string& text, int64_t& first, int64_t& last, int64_t& complete);
