#include "UiTestSupport.h"
#include <zlib.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

void Put16(std::string& out, uint32_t v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// A ZIP archive with stored entries.
std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string data;
    std::string directory;
    for (const auto& entry : entries) {
        const std::string& name = entry.first;
        const std::string& body = entry.second;
        const uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size());
        const uint32_t offset = data.size();
        Put32(data, 0x04034b50);
        Put16(data, 10);
        Put16(data, 0);
        Put16(data, 0);  // stored
        Put32(data, 0);  // time, date
        Put32(data, crc);
        Put32(data, body.size());
        Put32(data, body.size());
        Put16(data, name.size());
        Put16(data, 0);
        data += name;
        data += body;

        Put32(directory, 0x02014b50);
        Put16(directory, 20);
        Put16(directory, 10);
        Put16(directory, 0);
        Put16(directory, 0);
        Put32(directory, 0);
        Put32(directory, crc);
        Put32(directory, body.size());
        Put32(directory, body.size());
        Put16(directory, name.size());
        Put16(directory, 0);
        Put16(directory, 0);
        Put16(directory, 0);
        Put16(directory, 0);
        Put32(directory, 0);
        Put32(directory, offset);
        directory += name;
    }
    const uint32_t directoryOffset = data.size();
    data += directory;
    Put32(data, 0x06054b50);
    Put16(data, 0);
    Put16(data, 0);
    Put16(data, entries.size());
    Put16(data, entries.size());
    Put32(data, directory.size());
    Put32(data, directoryOffset);
    Put16(data, 0);
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

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
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
    const uint32_t* bits = renderer.bits();
    const int w = renderer.bufferWidth();
    const int h = renderer.bufferHeight();
    if (!bits || w <= 0 || h <= 0) return false;

    const int stride = (w * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + stride * h;
    info.biSize = sizeof(info);
    info.biWidth = w;
    info.biHeight = h;  // bottom-up
    info.biPlanes = 1;
    info.biBitCount = 24;
    std::vector<unsigned char> rows(stride * h, 0);
    const unsigned backdrop = 0x40;
    for (int y = 0; y < h; ++y) {
        unsigned char* out = &rows[(h - 1 - y) * stride];
        for (int x = 0; x < w; ++x) {
            const uint32_t p = bits[y * w + x];
            const unsigned a = p >> 24;
            // Premultiplied source over the backdrop.
            for (int c = 0; c < 3; ++c) {
                const unsigned s = (p >> (8 * c)) & 0xFF;
                out[x * 3 + c] = static_cast<unsigned char>(std::min(255u, s + backdrop * (255 - a) / 255));
            }
        }
    }
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    fwrite(&file, sizeof(file), 1, f);
    fwrite(&info, sizeof(info), 1, f);
    fwrite(rows.data(), 1, rows.size(), f);
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
