#pragma once
#include <cstdint>
#include <string>

// The product version (not the file version) of an executable's version
// resource. False when it has none or it cannot be read; the outs are then
// untouched.
[[nodiscard]] bool GetFileVersionQuad(const std::string& path, int32_t* major, int32_t* minor, int32_t* build,
                                      int32_t* revision);
