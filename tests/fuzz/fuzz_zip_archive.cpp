// The skin archive: every entry listed and extracted.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "skin/ZipArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The archive keeps pointing at the bytes: an exact copy lets ASan see
    // any read past their end.
    std::vector<uint8_t> bytes(data, data + size);
    ZipArchive archive;
    if (archive.Open(bytes.data(), bytes.size()) != ZR_OK) return 0;
    ZipItem count;
    if (archive.GetItem(-1, &count) != ZR_OK) return 0;
    FUZZ_CHECK(count.index >= 0);
    const int32_t entries = std::min<int32_t>(count.index, 64);
    for (int32_t i = 0; i < entries; ++i) {
        ZipItem item;
        if (archive.GetItem(i, &item) != ZR_OK) continue;
        FUZZ_CHECK(item.index == i && std::memchr(item.name, 0, sizeof item.name) != nullptr);
        if (item.uncompressedSize < 0) continue;
        // A buffer of the announced size, as the store gives it; bounded here
        // to keep the rate up (a full buffer takes the ZR_MORE path).
        const size_t capacity = std::min<size_t>(static_cast<size_t>(item.uncompressedSize), 64 * 1024);
        std::vector<uint8_t> out(capacity);
        size_t written = 0;
        const ZipResult r = archive.UnzipItem(i, out.data(), out.size(), &written);
        FUZZ_CHECK(written <= out.size());
        if (r == ZR_OK || r == ZR_MORE) FUZZ_CHECK(r == ZR_OK || written == out.size());
    }
    // Asking again for an entry, after others, gives the same answer.
    if (entries > 0) {
        ZipItem a, b;
        const ZipResult ra = archive.GetItem(0, &a);
        archive.GetItem(entries - 1, &b);
        const ZipResult rb = archive.GetItem(0, &b);
        FUZZ_CHECK(ra == rb && (ra != ZR_OK || std::strcmp(a.name, b.name) == 0));
    }
    archive.Close();
    return 0;
}
