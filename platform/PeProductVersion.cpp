#include "platform/PeProductVersion.h"

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The largest single read: a section table of 65535 entries fits, and so
// does a resource directory's entries (at most 131070 of 8 bytes).
constexpr uint64_t kMaxRead = 4u << 20;
// A version block's length is a 16-bit count: nothing beyond it is needed.
constexpr uint64_t kMaxVersionBlock = 0x10000;
constexpr uint32_t kTypeVersion = 16;
constexpr uint32_t kVersionInfoName = 1;
constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BDu;
constexpr size_t kFixedInfoSize = 52;

uint16_t U16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
uint32_t U32(const Bytes& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

struct Section {
    uint32_t rva = 0;
    uint32_t rawSize = 0;
    uint32_t rawOffset = 0;
};

// The file as its headers lay it out: relative virtual addresses are found
// through the section table, as a data-file load finds them.
class Image {
public:
    explicit Image(const ByteSource& file) : file_(file), size_(file.Size()) {}

    // Reads the headers; false when they are not those of a PE file with a
    // resource directory.
    bool Load();
    uint32_t ResourceRva() const { return resourceRva_; }

    // `span` bytes at rva must lie in the raw data of the first section
    // holding rva, and in the file; the first min(span, limit) of them are read.
    bool ReadRva(uint64_t rva, uint64_t span, Bytes& out, uint64_t limit = kMaxRead) const;

private:
    bool Read(uint64_t offset, uint64_t size, Bytes& out) const
    {
        if (offset > size_ || size > size_ - offset || size > kMaxRead) return false;
        out.resize(static_cast<size_t>(size));
        return size == 0 || file_.ReadAt(offset, out.data(), out.size());
    }

    const ByteSource& file_;
    const uint64_t size_;
    uint32_t resourceRva_ = 0;
    std::vector<Section> sections_;
};

bool Image::Load()
{
    Bytes dos, nt, optional, table;
    if (!Read(0, 64, dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const uint64_t ntOffset = U32(dos, 0x3c);
    if (!Read(ntOffset, 24, nt) || U32(nt, 0) != 0x00004550u) return false;  // "PE\0\0"
    const uint16_t sectionCount = U16(nt, 6);
    const uint16_t optionalSize = U16(nt, 20);
    if (!Read(ntOffset + 24, optionalSize, optional) || optionalSize < 2) return false;

    // The data directories' place differs between PE32 and PE32+.
    size_t countAt = 0;
    switch (U16(optional, 0)) {
    case 0x10b: countAt = 92; break;
    case 0x20b: countAt = 108; break;
    default: return false;
    }
    const size_t resourceEntry = countAt + 4 + 2 * 8;
    if (resourceEntry + 8 > optional.size() || U32(optional, countAt) <= 2) return false;
    resourceRva_ = U32(optional, resourceEntry);
    if (resourceRva_ == 0) return false;

    if (!Read(ntOffset + 24 + optionalSize, uint64_t{sectionCount} * 40, table)) return false;
    sections_.resize(sectionCount);
    for (size_t i = 0; i < sectionCount; ++i) {
        sections_[i].rva = U32(table, 40 * i + 12);
        sections_[i].rawSize = U32(table, 40 * i + 16);
        sections_[i].rawOffset = U32(table, 40 * i + 20);
    }
    return true;
}

bool Image::ReadRva(uint64_t rva, uint64_t span, Bytes& out, uint64_t limit) const
{
    for (const Section& s : sections_) {
        if (rva < s.rva || rva - s.rva >= s.rawSize) continue;
        const uint64_t into = rva - s.rva;
        if (span > s.rawSize - into) return false;
        // 64-bit sums: an offset near 4 GiB is past the file, not wrapped back into it.
        return Read(uint64_t{s.rawOffset} + into, span < limit ? span : limit, out);
    }
    return false;
}

// One level of the resource tree: the entries of the directory at `offset`
// from the resource root.
class Directory {
public:
    bool Load(const Image& image, uint32_t offset)
    {
        Bytes header;
        const uint64_t at = uint64_t{image.ResourceRva()} + offset;
        if (!image.ReadRva(at, 16, header)) return false;
        named_ = U16(header, 12);
        const uint32_t count = named_ + U16(header, 14);
        return image.ReadRva(at + 16, uint64_t{count} * 8, entries_);
    }
    size_t Count() const { return entries_.size() / 8; }
    uint32_t Name(size_t i) const { return U32(entries_, 8 * i); }
    uint32_t Target(size_t i) const { return U32(entries_, 8 * i + 4); }

    // The first numbered entry `id`: its subdirectory, or its data entry,
    // as asked; false when there is none of that kind.
    bool Find(uint32_t id, bool subdirectory, uint32_t* offset) const
    {
        for (size_t i = named_; i < Count(); ++i) {
            if (Name(i) != id) continue;
            if (!(Target(i) & kSubdirectory) != !subdirectory) return false;
            *offset = Target(i) & ~kSubdirectory;
            return true;
        }
        return false;
    }
    // The first data entry of any name.
    bool First(uint32_t* offset) const
    {
        for (size_t i = 0; i < Count(); ++i) {
            if (Target(i) & kSubdirectory) continue;
            *offset = Target(i);
            return true;
        }
        return false;
    }

private:
    uint32_t named_ = 0;
    Bytes entries_;
};

// The root block of a version resource: its key, then, aligned to four bytes
// from the block's start, the fixed information.
bool FixedInfoVersion(const Bytes& block, VersionQuad* version)
{
    if (block.size() < 6) return false;
    const uint16_t valueLength = U16(block, 2);
    size_t at = 6;
    while (at + 2 <= block.size() && U16(block, at) != 0) at += 2;
    at = (at + 2 + 3) & ~size_t{3};
    if (valueLength < kFixedInfoSize || at > block.size() || block.size() - at < kFixedInfoSize) return false;
    if (U32(block, at) != kFixedInfoSignature) return false;
    const uint32_t ms = U32(block, at + 16), ls = U32(block, at + 20);
    version->major = static_cast<int32_t>(ms >> 16);
    version->minor = static_cast<int32_t>(ms & 0xffff);
    version->build = static_cast<int32_t>(ls >> 16);
    version->revision = static_cast<int32_t>(ls & 0xffff);
    return true;
}

}  // namespace

bool ReadPeProductVersion(const ByteSource& file, const std::vector<uint16_t>& languages, VersionQuad* version)
{
    Image image(file);
    if (!image.Load()) return false;

    // Type, name, language: three levels and no more, so no loop is possible.
    Directory types, names, inLanguages;
    uint32_t offset = 0;
    if (!types.Load(image, 0) || !types.Find(kTypeVersion, true, &offset)) return false;
    if (!names.Load(image, offset) || !names.Find(kVersionInfoName, true, &offset)) return false;
    if (!inLanguages.Load(image, offset)) return false;
    bool found = false;
    for (size_t i = 0; i < languages.size() && !found; ++i) found = inLanguages.Find(languages[i], false, &offset);
    if (!found && !inLanguages.First(&offset)) return false;

    Bytes entry, block;
    if (!image.ReadRva(uint64_t{image.ResourceRva()} + offset, 16, entry)) return false;
    const uint32_t dataRva = U32(entry, 0), dataSize = U32(entry, 4);
    if (dataSize == 0 || !image.ReadRva(dataRva, dataSize, block, kMaxVersionBlock)) return false;

    VersionQuad read;
    if (!FixedInfoVersion(block, &read)) return false;
    *version = read;
    return true;
}
