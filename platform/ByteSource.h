#pragma once
#include <cstddef>
#include <cstdint>

// A file's bytes, read at explicit offsets: all a parser of a file sees of it.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    virtual uint64_t Size() const = 0;
    // Exactly `size` bytes from `offset` into out; false when they cannot all
    // be read. Callers keep offset + size within Size().
    [[nodiscard]] virtual bool ReadAt(uint64_t offset, void* out, size_t size) const = 0;
};
