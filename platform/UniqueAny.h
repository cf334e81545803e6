#pragma once
#include <windows.h>
#include <utility>

// Owns one handle of the kind Traits describes and closes it exactly once: on
// destruction, on Reset and when another is moved in. A handle kind is one
// traits struct and one alias, e.g.
//   struct KernelHandleTraits : NullHandleTraits<HANDLE> { static void Close(HANDLE h) { CloseHandle(h); } };
//   using UniqueHandle = UniqueAny<KernelHandleTraits>;
// Traits gives Handle (the stored value), Invalid() (the empty value),
// IsValid(h) and Close(h). Closing keeps the thread's last error, so an owner
// that goes out of scope between a failed call and GetLastError does not
// overwrite the code.
template <class Traits>
class UniqueAny {
public:
    using Handle = typename Traits::Handle;

    UniqueAny() = default;
    explicit UniqueAny(Handle h) noexcept : h_(h) {}
    ~UniqueAny() { Reset(); }
    UniqueAny(UniqueAny&& other) noexcept : h_(other.Release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    Handle Get() const noexcept { return h_; }
    bool Valid() const noexcept { return Traits::IsValid(h_); }
    explicit operator bool() const noexcept { return Valid(); }

    // Gives the handle up: whoever takes it closes it.
    [[nodiscard]] Handle Release() noexcept { return std::exchange(h_, Traits::Invalid()); }

    void Reset(Handle h = Traits::Invalid()) noexcept
    {
        const Handle old = std::exchange(h_, h);
        if (!Traits::IsValid(old)) return;
        const DWORD error = GetLastError();
        Traits::Close(old);
        SetLastError(error);
    }

private:
    Handle h_ = Traits::Invalid();
};

// The usual traits base: the handle is a pointer and null means none.
template <class H>
struct NullHandleTraits {
    using Handle = H;
    static constexpr H Invalid() { return nullptr; }
    static bool IsValid(H h) { return h != nullptr; }
};
