// The resume record left beside a partly downloaded package.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "engine/ResumeData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ResumeData record;
    if (!ResumeData::FromBytes(data, size, &record)) {
        FUZZ_CHECK(record.segments.empty());
        return 0;
    }
    FUZZ_CHECK(record.count >= 0 && record.count <= ResumeData::kMaxSegments &&
               static_cast<size_t>(record.count) == record.segments.size());
    // What is read is written back byte for byte; a tail is not read.
    const std::vector<char> written = record.ToBytes();
    FUZZ_CHECK(written.size() <= size && std::memcmp(written.data(), data, written.size()) == 0);

    // Resuming trusts only a record that fits the download: then it owes
    // no more than the whole file.
    if (record.segments.empty()) return 0;
    const ResumeSegment& first = *record.segments.front();
    const std::string path(first.path, strnlen(first.path, sizeof first.path));
    if (record.Fits(path, record.totalSize)) {
        const int64_t remaining = record.RemainingBytes();
        FUZZ_CHECK(remaining >= 0 && remaining <= record.totalSize);
        for (const auto& s : record.segments) FUZZ_CHECK(s->end < record.totalSize);
    }
    return 0;
}
