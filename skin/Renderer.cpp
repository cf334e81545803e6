#include "skin/Renderer.h"

#include <algorithm>
#include <cstring>

#include "skin/IRenderHost.h"
#include "skin/Image.h"
#include "skin/SelectGuard.h"

namespace {

// Pixels carry premultiplied alpha and are used as they are.
constexpr BLENDFUNCTION kBlend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};

// One memory context into which each picture is selected while it is copied;
// made on first use, main thread only.
HDC PictureDC()
{
    static UniqueDC dc(CreateCompatibleDC(nullptr));
    return dc.Get();
}

void CopyPiece(HDC dst, int dx, int dy, int dw, int dh, HDC src, int sx, int sy, int sw, int sh, bool alpha)
{
    if (alpha) {
        AlphaBlend(dst, dx, dy, dw, dh, src, sx, sy, sw, sh, kBlend);
    } else if (dw == sw && dh == sh) {
        BitBlt(dst, dx, dy, dw, dh, src, sx, sy, SRCCOPY);
    } else {
        // Colour pictures must not be shrunk with the default AND-combining mode.
        const int previous = SetStretchBltMode(dst, COLORONCOLOR);
        StretchBlt(dst, dx, dy, dw, dh, src, sx, sy, sw, sh, SRCCOPY);
        if (previous) SetStretchBltMode(dst, previous);
    }
}

}  // namespace

Renderer::Renderer(IRenderHost* window) : window_(window) {}

Renderer::~Renderer() = default;

void Renderer::OnPaint()
{
    owner_.Check();
    const HWND hwnd = window_ ? window_->RenderWindow() : nullptr;
    if (!hwnd) return;
    // Validated for every window, painted or not: an update region left in
    // place would bring WM_PAINT back at once, for ever.
    PAINTSTRUCT ps;
    if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
    if (window_->IsLayered()) Render();
}

bool Renderer::MakeBackBuffer(HDC windowDC, int width, int height)
{
    backBuffer_.Reset();
    bits_ = nullptr;
    width_ = height_ = 0;
    if (!memDC_) memDC_.Reset(CreateCompatibleDC(windowDC));
    if (!memDC_) return false;

    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height;  // top-down
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    bmi.bmiHeader.biSizeImage = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
    void* bits = nullptr;
    GdiHandle<HBITMAP> section(CreateDIBSection(windowDC, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!section || !bits) return false;
    backBuffer_ = std::move(section);
    bits_ = static_cast<uint32_t*>(bits);
    width_ = width;
    height_ = height;
    return true;
}

void Renderer::Render()
{
    owner_.Check();
    const HWND hwnd = window_ ? window_->RenderWindow() : nullptr;
    if (!hwnd) return;
    const WindowDC windowDC = AcquireWindowDC(hwnd);
    if (!windowDC) return;
    RECT client{};
    GetClientRect(hwnd, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width <= 0 || height <= 0) return;

    if (!backBuffer_ || width != width_ || height != height_) {
        if (!MakeBackBuffer(windowDC.Get().dc, width, height)) return;
        // The first paint is what places the elements.
        window_->LayoutFor(memDC_.Get(), client);
    }

    SelectGuard buffer(memDC_.Get(), backBuffer_.Get());
    if (!buffer.Selected()) return;
    GdiFlush();
    std::memset(bits_, 0, bufferBytes());  // alpha included

    SetBkMode(memDC_.Get(), TRANSPARENT);
    {
        SelectGuard font(memDC_.Get(), window_->DefaultFont());
        window_->PaintAll(memDC_.Get(), client);
    }
    GdiFlush();

    // What GDI drew without alpha inside the body becomes visible; the shadow
    // band keeps the alpha of its pictures.
    const RECT shadow = window_->ShadowMargins();
    RECT inner = client;
    inner.left += shadow.left;
    inner.top += shadow.top;
    inner.right -= shadow.right;
    inner.bottom -= shadow.bottom;
    RepairAlpha(inner);

    RECT windowRect{};
    GetWindowRect(hwnd, &windowRect);
    POINT destination = {windowRect.left, windowRect.top};
    SIZE size = {width, height};
    POINT source = {0, 0};
    BLENDFUNCTION blend = kBlend;
    UpdateLayeredWindow(hwnd, windowDC.Get().dc, &destination, &size, memDC_.Get(), &source, 0, &blend, ULW_ALPHA);
}

void Renderer::RepairAlpha(const RECT& rect)
{
    if (!bits_) return;
    const int left = std::max<LONG>(rect.left, 0);
    const int top = std::max<LONG>(rect.top, 0);
    const int right = std::min<LONG>(rect.right, width_);
    const int bottom = std::min<LONG>(rect.bottom, height_);
    for (int y = top; y < bottom; ++y) {
        uint32_t* row = bits_ + static_cast<size_t>(y) * width_;
        for (int x = left; x < right; ++x)
            if ((row[x] >> 24) == 0) row[x] |= 0xFF000000u;
    }
}

void Renderer::FixTextAlpha(const RECT& rect, Renderer* renderer)
{
    if (!renderer || !renderer->bits_ || !renderer->window_ || !renderer->window_->IsLayered()) return;
    GdiFlush();
    renderer->RepairAlpha(rect);
}

void Renderer::DrawPicture(const Image* picture, HDC dc, int x, int y, int width, int height)
{
    if (!picture || !picture->bitmap() || width <= 0 || height <= 0) return;
    HDC source = PictureDC();
    SelectGuard selected(source, picture->bitmap());
    if (!selected.Selected()) return;
    CopyPiece(dc, x, y, width, height, source, 0, 0, picture->width(), picture->height(), picture->hasAlpha());
}

void Renderer::DrawNineGrid(const ScaleGrid& grid, const RECT& dest, const Image* picture, HDC dc)
{
    if (!picture || !picture->bitmap()) return;
    HDC source = PictureDC();
    SelectGuard selected(source, picture->bitmap());
    if (!selected.Selected()) return;

    const int l = grid.left, t = grid.top, r = grid.right, b = grid.bottom;
    const int L = dest.left, T = dest.top, R = dest.right, B = dest.bottom;
    const int W = picture->width(), H = picture->height();
    const int dw = R - L - l - r, dh = B - T - t - b;
    const int sw = W - l - r, sh = H - t - b;
    const bool alpha = picture->hasAlpha();

    // A piece with no area on either side is skipped: a destination smaller
    // than its margins must not be drawn mirrored or with negative sizes.
    auto piece = [&](int dx, int dy, int pw, int ph, int sx, int sy, int spw, int sph) {
        if (pw <= 0 || ph <= 0 || spw <= 0 || sph <= 0) return;
        if (sx < 0 || sy < 0 || sx + spw > W || sy + sph > H) return;
        CopyPiece(dc, dx, dy, pw, ph, source, sx, sy, spw, sph, alpha);
    };
    // A destination smaller than its margins keeps its pieces inside it.
    const int saved = (dw < 0 || dh < 0) ? SaveDC(dc) : 0;
    if (saved) IntersectClipRect(dc, L, T, R, B);
    piece(L + l, T + t, dw, dh, l, t, sw, sh);      // centre
    piece(L, T, l, t, 0, 0, l, t);                  // top-left
    piece(L + l, T, dw, t, l, 0, sw, t);            // top edge
    piece(R - r, T, r, t, W - r, 0, r, t);          // top-right
    piece(R - r, T + t, r, dh, W - r, t, r, sh);    // right edge
    piece(R - r, B - b, r, b, W - r, H - b, r, b);  // bottom-right
    piece(L + l, B - b, dw, b, l, H - b, sw, b);    // bottom edge
    piece(L, B - b, l, b, 0, H - b, l, b);          // bottom-left
    piece(L, T + t, l, dh, 0, t, l, sh);            // left edge
    if (saved) RestoreDC(dc, saved);
}
