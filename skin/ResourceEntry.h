#pragma once
#include <cstdint>
#include <memory>

#include "skin/IRescObject.h"

// An archive entry known to the resource store and the object made from it.
struct ResourceEntry {
    int32_t index = 0;                    // position in the central directory
    int32_t size = 0;                     // uncompressed size in bytes
    std::unique_ptr<IRescObject> object;  // Image or Style, once made (may stay null)
    int32_t requests = 0;                 // GetImage/GetStyle calls answered; 0 = nothing made yet
};
