#include "skin/ZipArchive.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

// The attribute values of a file and a folder entry (as the Windows file API has them).
constexpr uint32_t kAttributeNormal = 0x80;
constexpr uint32_t kAttributeFolder = 0x10;

constexpr uint32_t kEndSignature = 0x06054b50;      // "PK" 5 6
constexpr uint32_t kCentralSignature = 0x02014b50;  // "PK" 1 2
constexpr uint32_t kLocalSignature = 0x04034b50;    // "PK" 3 4
constexpr size_t kEndSize = 22;
constexpr size_t kCentralSize = 46;
constexpr size_t kLocalSize = 30;
constexpr size_t kMaxComment = 65535;
// Deflate cannot expand data by more than about 1032 to 1; a larger claim is
// a lie that would only make the caller allocate for nothing.
constexpr uint64_t kMaxInflateRatio = 1032;

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Read32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

ZipResult ZipArchive::Open(const void* data, size_t length)
{
    Close();
    if (!data || length < kEndSize) return ZR_CORRUPT;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);

    // The end record lies within the last 22 + 65535 bytes. The nearest
    // consistent one whose comment reaches the end of the data wins, then
    // the nearest consistent one: a comment may itself contain the signature.
    const size_t last = length - kEndSize;
    const size_t first = last > kMaxComment ? last - kMaxComment : 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t pos = last + 1; pos-- > first;) {
            const uint8_t* rec = bytes + pos;
            if (Read32(rec) != kEndSignature) continue;
            if (pass == 0 && pos + kEndSize + Read16(rec + 20) != length) continue;
            if (Index(bytes, length, pos)) return ZR_OK;
        }
    }
    return ZR_CORRUPT;
}

bool ZipArchive::Index(const uint8_t* bytes, size_t length, size_t pos)
{
    const uint8_t* rec = bytes + pos;
    const uint16_t disk = Read16(rec + 4);
    const uint16_t centralDisk = Read16(rec + 6);
    const uint16_t entriesHere = Read16(rec + 8);
    const uint16_t entriesTotal = Read16(rec + 10);
    const uint32_t centralSize = Read32(rec + 12);
    const uint32_t centralOffset = Read32(rec + 16);
    if (disk != 0 || centralDisk != 0 || entriesHere != entriesTotal) return false;
    const uint64_t centralEnd = static_cast<uint64_t>(centralOffset) + centralSize;
    if (centralEnd > pos) return false;
    // Where the directory really ends versus where the record says it does:
    // the length of a self-extracting prefix.
    prefix_ = pos - centralEnd;
    data_ = bytes;
    length_ = length;
    count_ = entriesTotal;
    central_.reserve(entriesTotal);
    size_t off = static_cast<size_t>(prefix_ + centralOffset);
    for (int32_t i = 0; i < count_; ++i) {
        if (off + kCentralSize > pos || Read32(bytes + off) != kCentralSignature) break;
        const size_t next =
            off + kCentralSize + Read16(bytes + off + 28) + Read16(bytes + off + 30) + Read16(bytes + off + 32);
        if (next > pos) break;
        central_.push_back(off);
        off = next;
    }
    return true;
}

void ZipArchive::Close()
{
    data_ = nullptr;
    length_ = 0;
    count_ = 0;
    prefix_ = 0;
    central_.clear();
    cachedIndex_ = -1;
}

bool ZipArchive::ReadCentral(int32_t index, Header* header) const
{
    if (index < 0 || static_cast<size_t>(index) >= central_.size()) return false;
    const size_t off = central_[index];
    const uint8_t* p = data_ + off;
    header->flags = Read16(p + 8);
    header->method = Read16(p + 10);
    header->crc = Read32(p + 16);
    header->compressedSize = Read32(p + 20);
    header->uncompressedSize = Read32(p + 24);
    header->nameLength = Read16(p + 28);
    header->externalAttributes = Read32(p + 38);
    header->localOffset = prefix_ + Read32(p + 42);
    header->nameOffset = off + kCentralSize;
    return true;
}

ZipResult ZipArchive::LocateData(const Header& header, size_t* dataOffset) const
{
    if (header.localOffset + kLocalSize > length_) return ZR_CORRUPT;
    const uint8_t* local = data_ + header.localOffset;
    if (Read32(local) != kLocalSignature) return ZR_CORRUPT;
    if (Read16(local + 8) != header.method) return ZR_CORRUPT;
    if ((Read16(local + 6) & 1) != (header.flags & 1)) return ZR_CORRUPT;
    const uint64_t start = header.localOffset + kLocalSize + Read16(local + 26) + Read16(local + 28);
    if (start + header.compressedSize > length_) return ZR_CORRUPT;
    *dataOffset = static_cast<size_t>(start);
    return ZR_OK;
}

ZipResult ZipArchive::GetItem(int32_t index, ZipItem* item)
{
    if (!data_) return ZR_NOTOPEN;
    if (!item) return ZR_ARGS;
    if (index == -1) {
        item->index = count_;
        return ZR_OK;
    }
    if (index < 0 || index >= count_) return ZR_ARGS;
    if (index == cachedIndex_) {
        *item = cachedItem_;
        return ZR_OK;
    }
    Header h;
    if (!ReadCentral(index, &h)) return ZR_CORRUPT;
    if (h.compressedSize > 0x7FFFFFFFu || h.uncompressedSize > 0x7FFFFFFFu) return ZR_CORRUPT;
    if (h.method == 0 && h.compressedSize != h.uncompressedSize) return ZR_CORRUPT;
    if (h.method == 8 && h.uncompressedSize > kMaxInflateRatio * h.compressedSize + 1024) return ZR_CORRUPT;
    size_t dataOffset = 0;
    if (ZipResult r = LocateData(h, &dataOffset); r != ZR_OK) return r;

    ZipItem out;
    out.index = index;
    const size_t n = std::min<size_t>(h.nameLength, sizeof(out.name) - 1);
    std::memcpy(out.name, data_ + h.nameOffset, n);
    out.name[n] = '\0';
    const bool folder = (h.externalAttributes & 0x40000000u) != 0 || (h.externalAttributes & 0x10u) != 0 ||
                        (h.nameLength > 0 && data_[h.nameOffset + h.nameLength - 1] == '/');
    out.attributes = kAttributeNormal | (folder ? kAttributeFolder : 0);
    out.compressedSize = static_cast<int32_t>(h.compressedSize);
    out.uncompressedSize = static_cast<int32_t>(h.uncompressedSize);
    cachedIndex_ = index;
    cachedItem_ = out;
    *item = out;
    return ZR_OK;
}

ZipResult ZipArchive::UnzipItem(int32_t index, void* dest, size_t destLength, size_t* written)
{
    if (written) *written = 0;
    if (!data_) return ZR_NOTOPEN;
    if (index < 0 || index >= count_ || (!dest && destLength > 0)) return ZR_ARGS;
    Header h;
    if (!ReadCentral(index, &h)) return ZR_CORRUPT;
    if (h.flags & 1) return ZR_METHOD;  // encrypted
    size_t dataOffset = 0;
    if (ZipResult r = LocateData(h, &dataOffset); r != ZR_OK) return r;
    const uint8_t* in = data_ + dataOffset;
    uint8_t* out = static_cast<uint8_t*>(dest);

    size_t produced = 0;
    if (h.method == 0) {
        if (h.compressedSize != h.uncompressedSize) return ZR_CORRUPT;
        produced = std::min<size_t>(h.compressedSize, destLength);
        if (produced) std::memcpy(out, in, produced);
        if (written) *written = produced;
        if (produced < h.compressedSize) return ZR_MORE;
    } else if (h.method == 8) {
        z_stream zs{};
        if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) return ZR_FLATE;
        zs.next_in = const_cast<Bytef*>(in);
        zs.avail_in = h.compressedSize;
        ZipResult result = ZR_OK;
        for (;;) {
            // zlib counts in 32-bit units; feed the destination in slices.
            const size_t room = destLength - produced;
            zs.next_out = out + produced;
            zs.avail_out = static_cast<uInt>(std::min<size_t>(room, 1u << 30));
            const uInt before = zs.avail_out;
            const int z = inflate(&zs, Z_NO_FLUSH);
            produced += before - zs.avail_out;
            if (z == Z_STREAM_END) break;
            if (z == Z_OK || z == Z_BUF_ERROR) {
                if (produced == destLength) {
                    result = ZR_MORE;
                    break;
                }
                if (zs.avail_in == 0 || z == Z_BUF_ERROR) {  // truncated stream
                    result = ZR_FLATE;
                    break;
                }
                continue;
            }
            result = ZR_FLATE;
            break;
        }
        inflateEnd(&zs);
        if (written) *written = produced;
        if (result == ZR_MORE) {
            // A full buffer that exactly held an entry which ends right here
            // is not "more": check whether the stream has anything left.
            if (produced == h.uncompressedSize)
                result = ZR_OK;
            else
                return ZR_MORE;
        }
        if (result != ZR_OK) return result;
        if (produced != h.uncompressedSize) return ZR_CORRUPT;
    } else {
        return ZR_METHOD;
    }
    if (crc32(0L, out, static_cast<uInt>(produced)) != h.crc) return ZR_CRC;
    return ZR_OK;
}
