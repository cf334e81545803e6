#include "SkinTestFiles.h"

#include <cstdlib>
#include <cstring>

#include "platform/TextConvert.h"
#include "platform/UniqueHandle.h"

std::vector<uint8_t> ReadBuildFile(const std::string& relative)
{
    const char* root = std::getenv("QUORVEX_BINARY_DIR");
    if (!root) return {};
    std::string path = root;
    // Wine maps the Linux root to drive Z:.
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    path += "/" + relative;
    for (char& c : path)
        if (c == '/') c = '\\';
    UniqueHandle file(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > (1 << 26)) return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size()))
        return {};
    return bytes;
}

GuardedBytes::GuardedBytes(const uint8_t* bytes, size_t length) : size_(length)
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
    const size_t dataPages = (length + page - 1) / page;
    const size_t total = (dataPages + 1) * page;
    region_ = VirtualAlloc(nullptr, total, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!region_) return;
    uint8_t* base = static_cast<uint8_t*>(region_);
    DWORD old = 0;
    VirtualProtect(base + dataPages * page, page, PAGE_NOACCESS, &old);
    data_ = base + dataPages * page - length;
    if (length) std::memcpy(data_, bytes, length);
}

GuardedBytes::~GuardedBytes()
{
    if (region_) VirtualFree(region_, 0, MEM_RELEASE);
}

DibCanvas::DibCanvas(int width, int height) : width_(width), height_(height)
{
    BITMAPINFO bmi{};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};  // top-down
    void* bits = nullptr;
    bitmap_.Reset(CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
    bits_ = static_cast<uint32_t*>(bits);
    dc_.Reset(CreateCompatibleDC(nullptr));
    previous_ = SelectObject(dc_.Get(), bitmap_.Get());
    Clear();
}

DibCanvas::~DibCanvas()
{
    // The bitmap must be out of the context before either goes.
    SelectObject(dc_.Get(), previous_);
}

uint32_t DibCanvas::Pixel(int x, int y) const
{
    GdiFlush();
    return bits_[static_cast<size_t>(y) * width_ + x];
}

void DibCanvas::Clear()
{
    GdiFlush();
    if (bits_) std::memset(bits_, 0, static_cast<size_t>(width_) * height_ * 4);
}
