#pragma once
#include <windows.h>
#include <utility>

// Owns one GDI object (bitmap, font, brush, pen, region) and deletes it once.
// It must not be selected into a device context when it is destroyed.
template <class H>
class GdiHandle {
public:
    GdiHandle() = default;
    explicit GdiHandle(H h) : h_(h) {}
    ~GdiHandle() { Reset(); }
    GdiHandle(GdiHandle&& other) noexcept : h_(other.Release()) {}
    GdiHandle& operator=(GdiHandle&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    GdiHandle(const GdiHandle&) = delete;
    GdiHandle& operator=(const GdiHandle&) = delete;

    H Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

    H Release() { return std::exchange(h_, nullptr); }
    void Reset(H h = nullptr)
    {
        if (h_) DeleteObject(h_);
        h_ = h;
    }

private:
    H h_ = nullptr;
};
