#include "UiTestSupport.h"
#include <zlib.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include "skin/ResourceStore.h"

namespace {

std::string WinePath(const std::string& unixPath)
{
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string BinaryDir()
{
    const char* dir = getenv("QUORVEX_BINARY_DIR");
    return dir ? dir : "";
}

// Archive bytes must outlive the store that reads them.
std::vector<char>& ArchiveBytes()
{
    static std::vector<char> bytes;
    return bytes;
}

// Little-endian fields, each as wide (in bytes) as its digit in `widths`.
void Put(std::string& out, const char* widths, std::initializer_list<uint32_t> fields)
{
    for (uint32_t v : fields) {
        for (int b = 0; b < *widths - '0'; ++b) out.push_back(static_cast<char>(v >> (8 * b)));
        ++widths;
    }
}

// A ZIP archive with stored entries.
std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string data, directory;
    for (const auto& [name, body] : entries) {
        const uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size());
        const uint32_t offset = data.size(), size = body.size(), length = name.size();
        Put(data, "42222244422", {0x04034b50, 10, 0, 0, 0, 0, crc, size, size, length, 0});
        data += name + body;
        Put(directory, "42222224442222244",
            {0x02014b50, 20, 10, 0, 0, 0, 0, crc, size, size, length, 0, 0, 0, 0, 0, offset});
        directory += name;
    }
    const uint32_t count = entries.size(), at = data.size(), length = directory.size();
    data += directory;
    Put(data, "42222442", {0x06054b50, 0, 0, count, count, length, at, 0});
    return data;
}

bool LoadBytes(std::vector<char> bytes)
{
    ResourceStore::Release();
    ArchiveBytes() = std::move(bytes);
    return ResourceStore::Instance()->Load(ArchiveBytes().data(), ArchiveBytes().size()) == 1;
}

}  // namespace

bool LoadRealSkin()
{
    std::ifstream in(WinePath(BinaryDir() + "/skin/skin.zip"), std::ios::binary);
    if (!in) return false;
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return LoadBytes(std::move(bytes));
}

bool LoadSkinOf(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string zip = MakeZip(entries);
    return LoadBytes(std::vector<char>(zip.begin(), zip.end()));
}

std::string ArtifactPath(const std::string& name)
{
    const std::string dir = WinePath(BinaryDir() + "/screenshots");
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir + "\\" + name;
}

bool WriteBackBuffer(const dxWindowImplBase& window, const std::string& path)
{
    const Renderer& renderer = window.renderer;
    if (!renderer.bits()) return false;
    // Premultiplied pixels are the window composited over black.
    BITMAPINFOHEADER info = {sizeof(info), renderer.bufferWidth(), -renderer.bufferHeight(), 1, 32};
    BITMAPFILEHEADER file = {0x4D42, 0, 0, 0, sizeof(file) + sizeof(info)};
    file.bfSize = file.bfOffBits + renderer.bufferBytes();
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    fwrite(&file, sizeof(file), 1, f);
    fwrite(&info, sizeof(info), 1, f);
    fwrite(renderer.bits(), 1, renderer.bufferBytes(), f);
    return fclose(f) == 0;
}

TestWindow::~TestWindow()
{
    if (hwnd) DestroyWindow(hwnd);
}

bool TestWindow::OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == WM_CREATE && !description_.empty()) LoadDescription(description_.c_str());
    return dxWindowImpl::OnWindowMessage(message, wParam, lParam, result);
}

bool TestWindow::Open(DWORD style, HWND parent)
{
    RECT r = {0, 0, 0, 0};
    return Create(parent, nullptr, L"Tz test", r, style, 0);
}

bool TestDialog::OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == WM_CREATE) {
        if (failCreate) {
            result = -1;
            return true;
        }
        if (!description_.empty()) LoadDescription(description_.c_str());
        if (onCreate) onCreate(*this);
    }
    if (message == WM_APP && onApp) {
        onApp(*this);
        result = 0;
        return true;
    }
    return dxWindowImpl::OnWindowMessage(message, wParam, lParam, result);
}
