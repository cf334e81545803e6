#pragma once
#include <cstdint>

// One entry of a ZIP archive's central directory.
struct ZipItem {
    int32_t index = -1;
    char name[260] = {};      // as stored, cut to 259 bytes, zero-terminated
    uint32_t attributes = 0;  // FILE_ATTRIBUTE_NORMAL, plus FILE_ATTRIBUTE_DIRECTORY for a folder
    int32_t compressedSize = 0;
    int32_t uncompressedSize = 0;
};
