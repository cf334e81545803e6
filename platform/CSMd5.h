#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// MD5 (RFC 1321), fed in pieces.
class CSMd5 {
public:
    CSMd5();
    virtual ~CSMd5() = default;

    void Update(const void* bytes, size_t length);
    // Pads and appends the bit count; later calls do nothing.
    void Final();
    // 32 lower-case hexadecimal digits; finishes the digest first when
    // needed.
    std::string HexDigest();

private:
    void Transform(const uint8_t block[64]);

    uint32_t count_[2];  // bits fed so far, low half first
    uint32_t state_[4];
    uint8_t buffer_[64];
    bool finished_ = false;
};
