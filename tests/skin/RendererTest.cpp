#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "SkinTestFiles.h"
#include "skin/GdiHandle.h"
#include "skin/IRenderHost.h"
#include "skin/Image.h"
#include "skin/Renderer.h"
#include "skin/ResourceStore.h"
#include "skin/Style_progressCtrl.h"

namespace {

// The colour of region (cx, cy) of the test pictures (see make_fixtures.py),
// premultiplied as the store keeps it.
uint32_t RegionColour(int cx, int cy, uint32_t alpha = 255)
{
    uint32_t r = 40 + cx * 80, g = 40 + cy * 80, b = 200 - 20 * (cx + 3 * cy);
    if (alpha != 255) {
        r = r * alpha / 255;
        g = g * alpha / 255;
        b = b * alpha / 255;
    }
    return (alpha << 24) | (r << 16) | (g << 8) | b;
}

int Band(int v, int first, int second) { return v < first ? 0 : v < second ? 1 : 2; }

class TestSkin : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(skin_.loaded, 1); }
    Image* Picture(const char* name)
    {
        Image* image = skin_.store.GetImage(name);
        EXPECT_TRUE(image && image->bitmap()) << name;
        return image;
    }

    // Compares every pixel of the canvas with expected(x, y).
    static void ExpectPixels(const DibCanvas& canvas, int w, int h, const std::function<uint32_t(int, int)>& expected)
    {
        int failures = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t want = expected(x, y), got = canvas.Pixel(x, y);
                if (want != got && ++failures <= 5)
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << got << ", expected " << want;
            }
        EXPECT_EQ(failures, 0);
    }

    LoadedStore skin_{"tests/skin/fixtures/testskin.zip"};
};

}  // namespace

TEST_F(TestSkin, NineGridWithSideMarginsDrawsOnlyEdgesAndCentre)
{
    Image* bar = Picture("Default/bar.png");  // 20 x 10, caps of 5
    ASSERT_NE(bar, nullptr);
    ASSERT_FALSE(bar->hasAlpha());
    DibCanvas canvas(120, 20);
    Renderer::DrawNineGrid(ScaleGrid{5, 0, 5, 0}, RECT{10, 3, 110, 13}, bar, canvas.dc());
    ExpectPixels(canvas, 120, 20, [](int x, int y) -> uint32_t {
        if (x < 10 || x >= 110 || y < 3 || y >= 13) return 0;
        return RegionColour(Band(x, 15, 105), 1);
    });
}

TEST_F(TestSkin, NineGridOfTheDialogKeepsCornersAndStretchesTheRest)
{
    Image* grid = Picture("Default/grid60.png");  // 20 x 60, margins 5, 50, 5, 5
    ASSERT_NE(grid, nullptr);
    DibCanvas canvas(110, 130);
    Renderer::DrawNineGrid(ScaleGrid{5, 50, 5, 5}, RECT{2, 1, 102, 121}, grid, canvas.dc());
    ExpectPixels(canvas, 110, 130, [](int x, int y) -> uint32_t {
        if (x < 2 || x >= 102 || y < 1 || y >= 121) return 0;
        return RegionColour(Band(x, 7, 97), Band(y, 51, 116));
    });

    // The same with translucent pieces, blended onto an empty buffer.
    Image* alpha = Picture("Default/grid_alpha.png");  // 20 x 20, margins 5, 4, 6, 3
    ASSERT_NE(alpha, nullptr);
    ASSERT_TRUE(alpha->hasAlpha());
    DibCanvas blended(50, 40);
    Renderer::DrawNineGrid(ScaleGrid{5, 4, 6, 3}, RECT{0, 0, 40, 30}, alpha, blended.dc());
    ExpectPixels(blended, 50, 40, [](int x, int y) -> uint32_t {
        if (x >= 40 || y >= 30) return 0;
        return RegionColour(Band(x, 5, 34), Band(y, 4, 27), 128);
    });
}

TEST_F(TestSkin, StretchWithoutGridCoversTheWholeDestination)
{
    Image* square = Picture("Default/square.png");  // 4 x 4, four 2 x 2 quadrants
    ASSERT_NE(square, nullptr);
    DibCanvas canvas(12, 12);
    Renderer::DrawPicture(square, canvas.dc(), 1, 2, 8, 8);
    ExpectPixels(canvas, 12, 12, [](int x, int y) -> uint32_t {
        if (x < 1 || x >= 9 || y < 2 || y >= 10) return 0;
        return RegionColour(Band(x, 5, 9), Band(y, 6, 10));
    });

    // Translucent pictures stretch through the blend.
    Image* partial = Picture("Default/partial.png");
    ASSERT_NE(partial, nullptr);
    DibCanvas blended(4, 4);
    Renderer::DrawPicture(partial, blended.dc(), 0, 0, 4, 4);
    const uint32_t quadrant[4] = {0x80643219u, 0xFF0A141Eu, 0u, 0xFE000102u};
    ExpectPixels(blended, 4, 4, [&](int x, int y) { return quadrant[(y / 2) * 2 + x / 2]; });

    // A picture without bitmap, or no picture, draws nothing.
    DibCanvas untouched(4, 4);
    Renderer::DrawPicture(skin_.store.GetImage("Default/broken.png"), untouched.dc(), 0, 0, 4, 4);
    Renderer::DrawPicture(nullptr, untouched.dc(), 0, 0, 4, 4);
    Renderer::DrawNineGrid(ScaleGrid{1, 1, 1, 1}, RECT{0, 0, 4, 4}, skin_.store.GetImage("Default/broken.png"),
                           untouched.dc());
    ExpectPixels(untouched, 4, 4, [](int, int) { return 0u; });
}

TEST_F(TestSkin, DestinationSmallerThanItsMarginsStaysInsideIt)
{
    Image* bar = Picture("Default/bar.png");
    ASSERT_NE(bar, nullptr);
    DibCanvas canvas(40, 10);
    // Six pixels: the right cap from 21, then the left cap over it from 20.
    Renderer::DrawNineGrid(ScaleGrid{5, 0, 5, 0}, RECT{20, 0, 26, 10}, bar, canvas.dc());
    ExpectPixels(canvas, 40, 10, [](int x, int) -> uint32_t {
        if (x < 20 || x >= 26) return 0;
        return RegionColour(x == 25 ? 2 : 0, 1);
    });
    // Three pixels: neither cap reaches outside, and nothing is mirrored.
    canvas.Clear();
    Renderer::DrawNineGrid(ScaleGrid{5, 0, 5, 0}, RECT{20, 0, 23, 10}, bar, canvas.dc());
    ExpectPixels(canvas, 40, 10, [](int x, int) -> uint32_t { return x >= 20 && x < 23 ? RegionColour(0, 1) : 0; });
    // Too short for its top and bottom margins.
    Image* grid = Picture("Default/grid.png");
    canvas.Clear();
    Renderer::DrawNineGrid(ScaleGrid{5, 4, 6, 3}, RECT{2, 2, 30, 7}, grid, canvas.dc());
    ExpectPixels(canvas, 40, 10,
                 [&](int x, int y) { return x < 2 || x >= 30 || y < 2 || y >= 7 ? 0u : canvas.Pixel(x, y); });
}

TEST_F(TestSkin, ProgressFillKeepsItsCapsAndItsBar)
{
    Style_progressCtrl style;
    style.foreground = Picture("Default/bar.png");
    style.grid = ScaleGrid{5, 0, 5, 0};
    StyledElement bar;
    bar.rect = RECT{10, 2, 586, 12};  // 576 pixels
    bar.range = 100;

    DibCanvas canvas(600, 14);
    auto fill = [](int from, int to) {
        return [from, to](int x, int y) -> uint32_t {
            if (x < from || x >= to || y < 2 || y >= 12) return 0;
            return RegionColour(Band(x, from + 5, to - 5), 1);
        };
    };
    bar.pos = 1;  // 576 * 1 / 100 = 5 pixels: the left cap drawn over the right
    style.DrawElement(canvas.dc(), bar);
    ExpectPixels(canvas, 600, 14, [](int x, int y) -> uint32_t {
        return x >= 10 && x < 15 && y >= 2 && y < 12 ? RegionColour(0, 1) : 0;
    });

    canvas.Clear();
    bar.range = 0;
    style.DrawElement(canvas.dc(), bar);
    ExpectPixels(canvas, 600, 14, [](int, int) { return 0u; });

    // A position past the range fills the bar and no more (and cannot overflow).
    canvas.Clear();
    bar.range = 100;
    bar.pos = 1000000000;
    style.DrawElement(canvas.dc(), bar);
    ExpectPixels(canvas, 600, 14, fill(10, 586));
    EXPECT_EQ(Style_progressCtrl::FilledWidth(576, 100, 99), 570);

    // The empty bar is drawn first, under the fill.
    style.background = Picture("Default/grid60.png");
    style.grid = ScaleGrid{};
    canvas.Clear();
    bar.pos = 0;
    style.DrawElement(canvas.dc(), bar);
    EXPECT_EQ(canvas.Pixel(10, 2), RegionColour(0, 0));
    EXPECT_EQ(canvas.Pixel(585, 2), RegionColour(2, 0));
}

namespace {

// A layered popup window that the renderer paints through a test host.
class WindowHost : public IRenderHost {
public:
    WindowHost(int width, int height, bool layered) : layered_(layered)
    {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuorvexRendererTest";
        RegisterClassExW(&wc);
        hwnd_ = CreateWindowExW(layered ? WS_EX_LAYERED | WS_EX_TOOLWINDOW : WS_EX_TOOLWINDOW, wc.lpszClassName, L"",
                                WS_POPUP, 0, 0, width, height, nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~WindowHost()
    {
        if (hwnd_) DestroyWindow(hwnd_);
    }

    HWND RenderWindow() const override { return hwnd_; }
    bool IsLayered() const override { return layered_; }
    RECT ShadowMargins() const override { return shadow; }
    void LayoutFor(HDC, const RECT& client) override
    {
        ++layouts;
        laidOut = client;
    }
    void PaintAll(HDC dc, const RECT& area) override
    {
        ++paints;
        if (paint) paint(dc, area);
    }
    HFONT DefaultFont() const override { return font; }

    RECT shadow{};
    HFONT font = nullptr;
    int layouts = 0;
    int paints = 0;
    RECT laidOut{};
    std::function<void(HDC, const RECT&)> paint;

private:
    HWND hwnd_ = nullptr;
    bool layered_;
};

}  // namespace

TEST(Renderer, BackBufferIsMadeOnceWithTheClientSize)
{
    WindowHost host(615, 366, true);
    ASSERT_NE(host.RenderWindow(), nullptr);
    Renderer renderer(&host);
    EXPECT_EQ(renderer.bits(), nullptr);
    renderer.Render();
    ASSERT_NE(renderer.bits(), nullptr);
    EXPECT_EQ(renderer.bufferBytes(), 900360u);
    DIBSECTION dib{};
    ASSERT_EQ(GetObjectW(renderer.backBuffer(), sizeof(dib), &dib), static_cast<int>(sizeof(dib)));
    EXPECT_EQ(dib.dsBm.bmWidth, 615);
    EXPECT_EQ(dib.dsBm.bmHeight, 366);
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 32);
    EXPECT_EQ(static_cast<size_t>(dib.dsBm.bmWidthBytes) * dib.dsBm.bmHeight, 900360u);
    EXPECT_EQ(host.layouts, 1);
    EXPECT_EQ(host.laidOut.right, 615);
    EXPECT_EQ(host.laidOut.bottom, 366);
    renderer.Render();
    EXPECT_EQ(host.layouts, 1);  // the elements are placed once
    EXPECT_EQ(host.paints, 2);
}

TEST(Renderer, PaintsInTheHostsDefaultFontAndPutsTheOldOneBack)
{
    WindowHost host(30, 20, true);
    ASSERT_NE(host.RenderWindow(), nullptr);
    LOGFONTW lf{};
    lf.lfHeight = -12;
    GdiHandle<HFONT> font(CreateFontIndirectW(&lf));
    ASSERT_TRUE(font);
    host.font = font.Get();
    Renderer renderer(&host);
    HGDIOBJ during = nullptr;
    host.paint = [&](HDC dc, const RECT&) { during = GetCurrentObject(dc, OBJ_FONT); };
    renderer.Render();
    EXPECT_EQ(during, font.Get());
    // The paint put the context's own font back: without a default font the
    // next paint does not find this one still selected.
    host.font = nullptr;
    renderer.Render();
    EXPECT_NE(during, font.Get());
    EXPECT_NE(during, nullptr);
}

TEST(Renderer, AlphaRepairSparesTheShadowBand)
{
    WindowHost host(100, 60, true);
    ASSERT_NE(host.RenderWindow(), nullptr);
    host.shadow = RECT{8, 8, 8, 8};
    Renderer renderer(&host);
    host.paint = [&](HDC dc, const RECT&) {
        // A soft translucent pixel in the band and in the body, and GDI
        // paint (which leaves alpha 0) everywhere else.
        HBRUSH brush = CreateSolidBrush(RGB(0x10, 0x20, 0x30));
        RECT all{0, 0, 100, 60};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        GdiFlush();
        renderer.bits()[3 * 100 + 3] = 0x40101010;
        renderer.bits()[30 * 100 + 50] = 0x40101010;
    };
    renderer.Render();
    ASSERT_NE(renderer.bits(), nullptr);
    GdiFlush();
    const uint32_t* bits = renderer.bits();
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x) {
            const uint32_t p = bits[y * 100 + x];
            const bool inside = x >= 8 && x < 92 && y >= 8 && y < 52;
            if ((x == 3 && y == 3) || (x == 50 && y == 30))
                EXPECT_EQ(p, 0x40101010u) << x << "," << y;
            else if (inside)
                EXPECT_EQ(p, 0xFF102030u) << x << "," << y;
            else
                EXPECT_EQ(p >> 24, 0u) << x << "," << y;
        }
    // Each paint starts from an empty buffer.
    host.paint = nullptr;
    renderer.Render();
    GdiFlush();
    EXPECT_EQ(renderer.bits()[0], 0u);
    EXPECT_EQ(renderer.bits()[30 * 100 + 50], 0xFF000000u);
}

TEST(Renderer, FixTextAlphaMakesTransparentTextPixelsOpaque)
{
    WindowHost host(40, 30, true);
    ASSERT_NE(host.RenderWindow(), nullptr);
    host.shadow = RECT{40, 30, 0, 0};  // nothing repaired by the paint itself
    Renderer renderer(&host);
    renderer.Render();
    ASSERT_NE(renderer.bits(), nullptr);
    uint32_t* bits = renderer.bits();
    bits[5 * 40 + 5] = 0x00FFFFFF;    // "text" without alpha
    bits[5 * 40 + 6] = 0x80808080;    // soft pixel
    bits[20 * 40 + 20] = 0x00FFFFFF;  // outside the rectangle
    Renderer::FixTextAlpha(RECT{4, 4, 10, 10}, &renderer);
    EXPECT_EQ(bits[5 * 40 + 5], 0xFFFFFFFFu);
    EXPECT_EQ(bits[5 * 40 + 6], 0x80808080u);
    EXPECT_EQ(bits[9 * 40 + 9], 0xFF000000u);
    EXPECT_EQ(bits[10 * 40 + 10], 0u);
    EXPECT_EQ(bits[20 * 40 + 20], 0x00FFFFFFu);
    // A rectangle reaching past the buffer is clipped to it.
    Renderer::FixTextAlpha(RECT{-10, 25, 100, 100}, &renderer);
    EXPECT_EQ(bits[29 * 40 + 39], 0xFF000000u);
    EXPECT_EQ(bits[24 * 40 + 39], 0u);
    Renderer::FixTextAlpha(RECT{0, 0, 40, 30}, nullptr);

    // Only a layered window's buffer is touched; without one nothing happens.
    WindowHost plain(40, 30, false);
    Renderer none(&plain);
    Renderer::FixTextAlpha(RECT{0, 0, 40, 30}, &none);
    EXPECT_EQ(none.bits(), nullptr);
}

TEST(Renderer, PaintMessageIsValidatedForEveryWindow)
{
    for (bool layered : {false, true}) {
        WindowHost host(50, 40, layered);
        ASSERT_NE(host.RenderWindow(), nullptr);
        Renderer renderer(&host);
        InvalidateRect(host.RenderWindow(), nullptr, FALSE);
        renderer.OnPaint();
        RECT update{};
        EXPECT_FALSE(GetUpdateRect(host.RenderWindow(), &update, FALSE)) << layered;
        EXPECT_EQ(host.paints, layered ? 1 : 0);
        EXPECT_EQ(renderer.bits() != nullptr, layered);
    }
}
