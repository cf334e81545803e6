#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

#include "skin/GdiHandle.h"
#include "skin/ResourceStore.h"

// The bytes of a file under the build folder ("skin/skin.zip",
// "tests/skin/fixtures/python.zip"); empty when it cannot be read.
std::vector<uint8_t> ReadBuildFile(const std::string& relative);

// A store loaded from a file under the build folder; the store reads its
// entries from the bytes later, so they live as long as it does.
struct LoadedStore {
    explicit LoadedStore(const std::string& file) : bytes(ReadBuildFile(file))
    {
        loaded = store.Load(bytes.data(), bytes.size());
    }
    std::vector<uint8_t> bytes;
    ResourceStore store;
    int loaded = 0;
};

// Holds bytes so that they end exactly where an inaccessible page begins:
// a reader that goes past the end faults instead of reading on quietly.
class GuardedBytes {
public:
    explicit GuardedBytes(const std::vector<uint8_t>& bytes) : GuardedBytes(bytes.data(), bytes.size()) {}
    GuardedBytes(const uint8_t* bytes, size_t length);
    ~GuardedBytes();
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    void* region_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// A zero-filled 32-bit top-down DIB selected into its own memory context.
class DibCanvas {
public:
    DibCanvas(int width, int height);
    ~DibCanvas();
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;

    HDC dc() const { return dc_.Get(); }
    uint32_t Pixel(int x, int y) const;
    void Clear();

private:
    int width_;
    int height_;
    GdiHandle<HBITMAP> bitmap_;
    UniqueDC dc_;
    HGDIOBJ previous_ = nullptr;
    uint32_t* bits_ = nullptr;
};
