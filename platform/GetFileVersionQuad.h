#pragma once
#include <cstdint>
#include <string>

class HeldFile;

// The product version (not the file version) of an executable's version
// resource. False when it has none or it cannot be read; the outs are then
// untouched. Only the headers and the resource parts that lead to it are
// read, whatever the file's size.
[[nodiscard]] bool GetFileVersionQuad(const HeldFile& file, int32_t* major, int32_t* minor, int32_t* build,
                                      int32_t* revision);
[[nodiscard]] bool GetFileVersionQuad(const std::string& path, int32_t* major, int32_t* minor, int32_t* build,
                                      int32_t* revision);
