#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <memory>
#include "UiTestSupport.h"
#include "ui/dxButton.h"
#include "ui/dxCanvas.h"
#include "ui/dxLabel.h"
#include "ui/dxProgressCtrl.h"

namespace {

::testing::AssertionResult RectIs(const dxControl* c, int l, int t, int r, int b)
{
    if (!c) return ::testing::AssertionFailure() << "no element";
    const RECT& x = c->rect;
    if (x.left == l && x.top == t && x.right == r && x.bottom == b) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << x.left << "," << x.top << "-" << x.right << "," << x.bottom;
}

std::unique_ptr<dxControl> Child(int x, int y, int w, int h, uint32_t flags = FLAG_VISIBLE)
{
    auto c = std::make_unique<dxButton>();
    c->x = x;
    c->y = y;
    c->width = w;
    c->height = h;
    c->flags = flags;
    return c;
}

// A skinned window, laid out by its first paint.
struct Shown {
    TestWindow window;
    explicit Shown(const char* description) : window(description) {}
    bool Open()
    {
        if (!LoadRealSkin() || !window.Open()) return false;
        UpdateWindow(window.hwnd);
        return true;
    }
    void Send(UINT message, int x, int y) { SendMessageW(window.hwnd, message, 0, MAKELPARAM(x, y)); }
    bool Dirty() const { return GetUpdateRect(window.hwnd, nullptr, FALSE) != FALSE; }
};

}  // namespace

TEST(Layout, SkinWindowsPlaceTheirElements)
{
    Shown main("main_wnd");
    ASSERT_TRUE(main.Open());
    RECT client;
    GetClientRect(main.window.hwnd, &client);
    EXPECT_EQ(615, client.right);
    EXPECT_EQ(366, client.bottom);
    EXPECT_TRUE(RectIs(main.window.FindElement(1002), 585, 8, 599, 22));
    EXPECT_TRUE(RectIs(main.window.FindElement(2005), 19, 330, 595, 340));
    EXPECT_EQ(515, main.window.FindElement(2007)->rect.left);
    // Hidden, yet placed.
    EXPECT_TRUE(RectIs(main.window.FindElement(9001), 0, 0, 615, 366));

    Shown box("msgbox");
    ASSERT_TRUE(box.Open());
    EXPECT_TRUE(RectIs(box.window.FindElement(1002), 68, 137, 168, 177));
    EXPECT_TRUE(RectIs(box.window.FindElement(1003), 188, 137, 288, 177));
    EXPECT_EQ(35, box.window.FindElement(2002)->rect.left);  // centred: its x 80 does not count
}

TEST(Layout, CanvasArithmetic)
{
    dxCanvas canvas;
    dxControl* wide = canvas.AddChild(Child(0, 0, 620, 10, FLAG_VISIBLE | ALIGN_HCENTER | ALIGN_VCENTER));
    dxControl* nearEdge = canvas.AddChild(Child(0, 0, 5, 5));
    dxControl* farEdge = canvas.AddChild(Child(-1, -1, 5, 5, 0));
    canvas.SetRect(nullptr, RECT{0, 0, 615, 366});
    EXPECT_TRUE(RectIs(wide, -2, 178, 618, 188));  // truncated toward zero
    EXPECT_TRUE(RectIs(nearEdge, 0, 0, 5, 5));
    EXPECT_TRUE(RectIs(farEdge, 614, 365, 619, 370));  // invisible, still placed
    EXPECT_EQ(&canvas, nearEdge->parent);

    const uint8_t padding[4] = {8, 4, 2, 1};  // left, top, right, bottom
    std::copy(padding, padding + 4, canvas.padding);
    canvas.SetRect(nullptr, RECT{10, 10, 110, 60});
    EXPECT_TRUE(RectIs(nearEdge, 18, 14, 23, 19));
    EXPECT_TRUE(RectIs(farEdge, 107, 58, 112, 63));
}

TEST(HitTest, ReverseOrderSkippingHiddenAndPassingThroughTextAndPictures)
{
    dxCanvas canvas;
    dxControl* under = canvas.AddChild(Child(0, 0, 50, 50));
    dxControl* over = canvas.AddChild(Child(25, 0, 50, 50));
    auto label = std::make_unique<dxLabel>();
    label->width = 100;
    label->height = 100;
    canvas.AddChild(std::move(label));
    canvas.SetRect(nullptr, RECT{0, 0, 200, 200});

    EXPECT_EQ(over, canvas.HitTest(30, 10));     // the later child lies on top
    EXPECT_EQ(under, canvas.HitTest(10, 10));    // through the label
    EXPECT_EQ(nullptr, canvas.HitTest(90, 90));  // the label alone takes nothing
    EXPECT_EQ(nullptr, canvas.HitTest(75, 10));  // right edge is outside
    over->SetVisible(false);
    EXPECT_EQ(under, canvas.HitTest(30, 10));

    // In the skin's main window the pictures and labels pass the mouse on.
    Shown main("main_wnd");
    ASSERT_TRUE(main.Open());
    EXPECT_EQ(main.window.FindElement(1002), main.window.Hit(590, 10));
    EXPECT_EQ(nullptr, main.window.Hit(100, 315));  // status label over the background picture
}

TEST(Button, ClickStateMachineThroughWindowMessages)
{
    Shown box("msgbox");
    ASSERT_TRUE(box.Open());
    auto* ok = static_cast<dxButton*>(box.window.FindElement(1002));
    ASSERT_NE(nullptr, ok);
    int clicks = 0;
    int second = 0;
    EXPECT_TRUE(ok->Connect(ControlEvent::Click, [&](dxControl* c) {
        EXPECT_EQ(ok, c);
        ++clicks;
    }));
    EXPECT_FALSE(ok->Connect(ControlEvent::Click, [&](dxControl*) { ++second; }));  // the first one wins

    box.Send(WM_MOUSEMOVE, 100, 150);
    EXPECT_TRUE(ok->state & STATE_HOT);
    box.Send(WM_LBUTTONDOWN, 100, 150);
    EXPECT_EQ(STATE_HOT | STATE_PRESSED | STATE_CAPTURED, ok->state);
    EXPECT_EQ(ok, box.window.focusElement);
    box.Send(WM_LBUTTONUP, 100, 150);
    EXPECT_EQ(1, clicks);
    EXPECT_EQ(STATE_HOT, ok->state);

    // Released outside: no click, not pressed any more.
    box.Send(WM_LBUTTONDOWN, 100, 150);
    box.Send(WM_LBUTTONUP, 300, 20);
    EXPECT_EQ(1, clicks);
    EXPECT_FALSE(ok->state & (STATE_PRESSED | STATE_HOT));

    // A double click is two clicks.
    box.Send(WM_LBUTTONDOWN, 100, 150);
    box.Send(WM_LBUTTONUP, 100, 150);
    box.Send(WM_LBUTTONDBLCLK, 100, 150);
    EXPECT_TRUE(ok->state & STATE_PRESSED);
    box.Send(WM_LBUTTONUP, 100, 150);
    EXPECT_EQ(3, clicks);
    EXPECT_EQ(0, second);

    // Disabled: no hover, press or click, but leaving still cools it.
    box.Send(WM_MOUSEMOVE, 300, 20);
    ok->state = STATE_DISABLED | STATE_HOT;
    box.Send(WM_LBUTTONDOWN, 100, 150);
    box.Send(WM_LBUTTONUP, 100, 150);
    EXPECT_EQ(3, clicks);
    EXPECT_FALSE(ok->state & STATE_PRESSED);
    for (MouseEvent type : {MouseEvent::Leave, MouseEvent::Enter}) {
        dxEvent event;
        event.type = type;
        ok->OnEvent(event);
        EXPECT_EQ(STATE_DISABLED, ok->state) << static_cast<int>(type);
    }
}

TEST(Repaint, OnlyRealChangesInvalidate)
{
    Shown main("main_wnd");
    ASSERT_TRUE(main.Open());
    auto* bar = static_cast<dxProgressCtrl*>(main.window.FindElement(2005));
    ASSERT_NE(nullptr, bar);
    bar->range = 100;
    ASSERT_FALSE(main.Dirty());
    bar->SetPos(0);
    EXPECT_FALSE(main.Dirty());
    bar->SetPos(42);
    RECT dirty;
    ASSERT_TRUE(GetUpdateRect(main.window.hwnd, &dirty, FALSE));
    // A layered window is always repainted whole.
    EXPECT_EQ(615, dirty.right - dirty.left);
    EXPECT_EQ(366, dirty.bottom - dirty.top);
    UpdateWindow(main.window.hwnd);
    EXPECT_FALSE(main.Dirty());

    // Elements of a window that is gone repaint nothing and do not crash.
    DestroyWindow(main.window.hwnd);
    EXPECT_EQ(nullptr, main.window.hwnd);
    bar->SetPos(7);
    static_cast<dxLabel*>(main.window.FindElement(2006))->SetText(L"x");
}
