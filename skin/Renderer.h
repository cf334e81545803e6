#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

#include "platform/ThreadAffinity.h"
#include "skin/GdiHandle.h"
#include "skin/ScaleGrid.h"

class IRenderHost;
class Image;

// Paints one layered window: the whole window into a 32-bit top-down back
// buffer (premultiplied BGRA), then UpdateLayeredWindow. Also the picture
// primitives that elements and styles draw with. Main thread only (checked).
class Renderer {
public:
    explicit Renderer(IRenderHost* window);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // WM_PAINT: validates the window and renders it when it is layered.
    void OnPaint();
    // Paints the whole window into the back buffer and pushes it to the screen.
    void Render();

    // The back buffer, made at the first paint with the client size (and
    // made again when that size changes); null before.
    HBITMAP backBuffer() const { return backBuffer_.Get(); }
    uint32_t* bits() const { return bits_; }
    int32_t bufferWidth() const { return width_; }
    int32_t bufferHeight() const { return height_; }
    size_t bufferBytes() const { return static_cast<size_t>(width_) * height_ * 4; }

    // Draws the whole picture stretched into (x, y, width, height).
    static void DrawPicture(const Image* picture, HDC dc, int x, int y, int width, int height);
    // Draws the picture as a nine-grid: corners keep their size, edges
    // stretch along their length, the centre both ways. Pieces whose size
    // would be zero or negative are skipped.
    static void DrawNineGrid(const ScaleGrid& grid, const RECT& dest, const Image* picture, HDC dc);
    // After GDI text in a layered window: pixels of `rect` that were left at
    // alpha 0 become opaque.
    static void FixTextAlpha(const RECT& rect, Renderer* renderer);

    // Every pixel inside `rect` (clipped to the buffer) with alpha 0 gets alpha 255.
    void RepairAlpha(const RECT& rect);

private:
    bool MakeBackBuffer(HDC windowDC, int width, int height);

    IRenderHost* window_;
    UniqueDC memDC_;
    GdiHandle<HBITMAP> backBuffer_;
    uint32_t* bits_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
    ThreadAffinity owner_;
};
