#pragma once
#include <windows.h>
#include <utility>

// Owns a memory device context made with CreateCompatibleDC and deletes it once.
class UniqueDC {
public:
    UniqueDC() = default;
    explicit UniqueDC(HDC dc) : dc_(dc) {}
    ~UniqueDC() { Reset(); }
    UniqueDC(UniqueDC&& other) noexcept : dc_(other.Release()) {}
    UniqueDC& operator=(UniqueDC&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueDC(const UniqueDC&) = delete;
    UniqueDC& operator=(const UniqueDC&) = delete;

    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

    HDC Release() { return std::exchange(dc_, nullptr); }
    void Reset(HDC dc = nullptr)
    {
        if (dc_) DeleteDC(dc_);
        dc_ = dc;
    }

private:
    HDC dc_ = nullptr;
};
