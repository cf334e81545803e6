#pragma once
#include <cstdint>
#include <vector>

#include "platform/ByteSource.h"
#include "platform/VersionQuad.h"

// The product version (not the file version) in the fixed part of a PE
// file's version resource: type 16, name 1, in the first of `languages` it
// has, else in the first language it lists (as FindResource takes a neutral
// request, given the languages it would try in turn). The file is
// hostile input: every offset and size it gives is checked against the bytes
// it has, and only the headers and the resource parts on the way are read,
// never the rest of it. False, with *version untouched, when it has no such
// resource or any part of the way does not lie in the file.
[[nodiscard]] bool ReadPeProductVersion(const ByteSource& file, const std::vector<uint16_t>& languages,
                                        VersionQuad* version);
