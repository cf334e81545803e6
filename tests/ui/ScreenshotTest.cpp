#include <gtest/gtest.h>
#include <windows.h>
#include "UiTestSupport.h"
#include <string>
#include "skin/DpiScale.h"
#include "skin/ResourceStore.h"
#include "ui/dxButton.h"
#include "ui/dxLabel.h"
#include "ui/dxProgressCtrl.h"

// Renders the skin's windows as the program shows them and writes the
// pictures to <build>/screenshots for a person to look at.
namespace {

uint32_t Alpha(const dxWindowImplBase& w, int x, int y)
{
    return w.renderer.bits()[y * w.renderer.bufferWidth() + x] >> 24;
}

// Pictures at another DPI than 96 carry it in their name.
std::string Shot(const char* name, const dxWindowImplBase& w)
{
    std::string file = name;
    if (!w.dpi.IsIdentity()) file += "_" + std::to_string(w.dpi.dpi);
    return ArtifactPath((file + ".bmp").c_str());
}

}  // namespace

TEST(Screenshot, MainWindow)
{
    ASSERT_TRUE(LoadRealSkin());
    ResourceStore* store = ResourceStore::Instance();
    TestWindow main("main_wnd");
    ASSERT_TRUE(main.Open());
    auto* bar = static_cast<dxProgressCtrl*>(main.FindElement(2005));
    auto* status = static_cast<dxLabel*>(main.FindElement(2006));
    auto* speed = static_cast<dxLabel*>(main.FindElement(2007));
    ASSERT_TRUE(bar && status && speed);
    bar->range = 100;
    bar->SetPos(42);
    status->font = store->font14();
    speed->font = store->font14();
    status->SetText(L"\x6b63\x5728\x4e0b\x8f7d 42%");  // 正在下载 42%
    speed->SetText(L"1.50 MB/s");
    UpdateWindow(main.hwnd);
    const DpiScale s = main.dpi;
    ASSERT_EQ(s.Scale(615), main.renderer.bufferWidth());
    ASSERT_EQ(s.Scale(366), main.renderer.bufferHeight());
    EXPECT_EQ(255u, Alpha(main, s.Scale(300), s.Scale(180)));
    EXPECT_TRUE(WriteBackBuffer(main, Shot("main_wnd", main)));

    main.FindElement(9001)->SetVisible(true);  // the veil shown while a message box is open
    UpdateWindow(main.hwnd);
    EXPECT_TRUE(WriteBackBuffer(main, Shot("main_wnd_masked", main)));
}

TEST(Screenshot, MessageBoxWindow)
{
    ASSERT_TRUE(LoadRealSkin());
    HFONT font16 = ResourceStore::Instance()->font16();
    TestWindow box("msgbox");
    ASSERT_TRUE(box.Open());
    auto* title = static_cast<dxLabel*>(box.FindElement(2001));
    auto* message = static_cast<dxLabel*>(box.FindElement(2002));
    auto* yes = static_cast<dxButton*>(box.FindElement(1002));
    auto* no = static_cast<dxButton*>(box.FindElement(1003));
    ASSERT_TRUE(title && message && yes && no);
    title->font = message->font = yes->font = no->font = font16;
    message->SetText(L"\x60a8\x662f\x5426\x8981\x4e2d\x65ad\x4e0b\x8f7d\xff1f");  // 您是否要中断下载？
    yes->SetText(L"\x662f");                                                      // 是
    no->SetText(L"\x5426");                                                       // 否
    box.SetFocusElement(yes);
    UpdateWindow(box.hwnd);
    ASSERT_NE(nullptr, box.renderer.bits());
    // The shadow band keeps the soft alpha of its picture; the body is opaque.
    EXPECT_LT(Alpha(box, 0, 0), 255u);
    const DpiScale s = box.dpi;
    EXPECT_EQ(s.Scale(356), box.renderer.bufferWidth());
    EXPECT_EQ(s.Scale(212), box.renderer.bufferHeight());
    EXPECT_EQ(255u, Alpha(box, s.Scale(178), s.Scale(100)));
    EXPECT_TRUE(WriteBackBuffer(box, Shot("msgbox", box)));
}
