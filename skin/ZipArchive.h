#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "skin/ZipItem.h"

// Results of the archive operations; 0 is success.
enum ZipResult : int32_t {
    ZR_OK = 0,
    ZR_MORE = 1,     // the destination filled up before the entry ended
    ZR_NOTOPEN = 2,  // no archive is open
    ZR_ARGS = 3,     // index out of range, null destination
    ZR_CORRUPT = 4,  // a record, offset or length does not fit the data
    ZR_METHOD = 5,   // compression method or encryption not supported
    ZR_FLATE = 6,    // the deflate stream is broken
    ZR_CRC = 7,      // the extracted bytes do not match their checksum
};

// Reads a ZIP archive that lies in memory (stored and deflated entries, an
// archive comment up to 65535 bytes, a self-extracting prefix). The bytes are
// not copied: they must stay valid and unchanged while the archive is open.
// Every offset and length read from the archive is checked against the data,
// so a damaged or hostile archive fails instead of reading outside it.
class ZipArchive {
public:
    ZipArchive() = default;
    ~ZipArchive() = default;
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Finds the end-of-central-directory record and indexes the directory.
    ZipResult Open(const void* data, size_t length);

    // Fills `item` for entry `index`; index -1 stores the number of entries
    // in item->index instead.
    ZipResult GetItem(int32_t index, ZipItem* item);

    // Extracts entry `index` into `dest`. ZR_MORE when `destLength` bytes did
    // not hold all of it (the buffer is then full). `written`, when given,
    // receives the number of bytes stored.
    ZipResult UnzipItem(int32_t index, void* dest, size_t destLength, size_t* written = nullptr);

    void Close();

    bool IsOpen() const { return data_ != nullptr; }
    // Entries that the end record announces (folders included).
    int32_t Count() const { return count_; }

private:
    struct Header {
        uint16_t flags = 0;
        uint16_t method = 0;
        uint32_t crc = 0;
        uint32_t compressedSize = 0;
        uint32_t uncompressedSize = 0;
        uint32_t externalAttributes = 0;
        uint64_t localOffset = 0;  // from the start of the data, prefix included
        size_t nameOffset = 0;
        uint16_t nameLength = 0;
    };

    // Takes the end record at `pos` when it is consistent and indexes the directory.
    bool Index(const uint8_t* bytes, size_t length, size_t pos);
    bool ReadCentral(int32_t index, Header* header) const;
    ZipResult LocateData(const Header& header, size_t* dataOffset) const;

    const uint8_t* data_ = nullptr;
    size_t length_ = 0;
    int32_t count_ = 0;
    uint64_t prefix_ = 0;  // bytes in front of the archive's logical start
    // Offsets of the central headers that could be walked; an entry after a
    // damaged header is unreachable.
    std::vector<size_t> central_;
    int32_t cachedIndex_ = -1;
    ZipItem cachedItem_;
};
