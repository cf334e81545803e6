#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include "UiTestSupport.h"
#include "ui/dxButton.h"
#include "ui/dxCanvas.h"

// Real input: SendInput goes through the system's input path, so capture,
// hover tracking and the tooltip behave as they do for a user.
namespace {

using Log = std::vector<std::string>;

class RecordingButton : public dxButton {
public:
    RecordingButton(const char* name, Log* log) : name_(name), log_(log) {}
    void OnEvent(const dxEvent& event) override
    {
        static const char* const kinds[] = {"?", "move", "hover", "leave", "enter", "wheel", "down", "up", "dblclk"};
        log_->push_back(name_ + ":" +
                        kinds[event.type <= MouseEvent::DoubleClick ? static_cast<uint32_t>(event.type) : 0]);
        dxButton::OnEvent(event);
    }

private:
    std::string name_;
    Log* log_;
};

// Screen coordinates for moves; no coordinates for button changes.
void Mouse(DWORD flags, int x = 0, int y = 0)
{
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    if (flags & MOUSEEVENTF_MOVE) {
        const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
        in.mi.dx = (x * 65536 + w - 1) / w;
        in.mi.dy = (y * 65536 + h - 1) / h;
        in.mi.dwFlags |= MOUSEEVENTF_ABSOLUTE;
    }
    SendInput(1, &in, sizeof(in));
}

size_t IndexOf(const Log& log, const std::string& entry)
{
    return std::find(log.begin(), log.end(), entry) - log.begin();
}

bool Has(const Log& log, const std::string& entry) { return IndexOf(log, entry) < log.size(); }

}  // namespace

// One test case: the pointer is shared by everything on the display.
TEST(MouseInput, RealPointerDrivesTheTracker)
{
    Log log;
    int clicksA = 0, clicksB = 0;
    TestWindow window;
    ASSERT_TRUE(window.Open(WS_POPUP));
    auto canvas = std::make_unique<dxCanvas>();
    auto add = [&](const char* name, int x, int* clicks) {
        auto button = std::make_unique<RecordingButton>(name, &log);
        button->owner = &window;
        button->x = x;
        button->y = 20;
        button->width = 80;
        button->height = 40;
        button->tooltip = L"tip";
        button->Connect(ControlEvent::Click, [clicks](dxControl*) { ++*clicks; });
        return canvas->AddChild(std::move(button));
    };
    add("a", 20, &clicksA);
    dxControl* b = add("b", 100, &clicksB);
    window.children.push_back(std::move(canvas));
    // Topmost and away from the screen centre, where other tests open theirs.
    SetWindowPos(window.hwnd, HWND_TOPMOST, 20, 20, 300, 200, SWP_SHOWWINDOW);
    window.Layout(nullptr, RECT{0, 0, 300, 200});
    auto moveTo = [&](int x, int y) { Mouse(MOUSEEVENTF_MOVE, 20 + x, 20 + y); };
    auto tooltipShown = [&] { return IsWindowVisible(window.tooltipWindow) != FALSE; };
    auto logged = [&](const char* entry) { return PumpUntil([&] { return Has(log, entry); }); };

    moveTo(60, 40);
    ASSERT_TRUE(logged("a:enter"));

    // From one button to the next: the first hears of it before the second.
    log.clear();
    moveTo(140, 40);
    ASSERT_TRUE(logged("b:move"));
    EXPECT_EQ((Log{"a:leave", "b:enter", "b:move"}), Log(log.begin(), log.begin() + 3));
    EXPECT_FALSE(tooltipShown());

    // Resting on the button shows its tooltip; pressing hides it.
    ASSERT_TRUE(PumpUntil(tooltipShown));
    EXPECT_TRUE(Has(log, "b:hover"));
    Mouse(MOUSEEVENTF_LEFTDOWN);
    ASSERT_TRUE(logged("b:down"));
    EXPECT_FALSE(tooltipShown());
    EXPECT_EQ(window.hwnd, GetCapture());

    // While b holds the capture, moves over a still go to b only.
    log.clear();
    moveTo(60, 45);
    ASSERT_TRUE(logged("b:move"));
    PumpFor(100);
    EXPECT_EQ(log.size(), size_t(std::count(log.begin(), log.end(), "b:move")));
    EXPECT_EQ(b, window.hovered);

    // Let go over a: no click for b; the hover moves on to a.
    Mouse(MOUSEEVENTF_LEFTUP);
    ASSERT_TRUE(logged("a:enter"));
    EXPECT_LT(IndexOf(log, "b:up"), IndexOf(log, "a:enter"));
    EXPECT_EQ(0, clicksB);
    EXPECT_FALSE(b->state & (STATE_PRESSED | STATE_CAPTURED));
    EXPECT_EQ(nullptr, GetCapture());

    // A press and release on a clicks it.
    Mouse(MOUSEEVENTF_LEFTDOWN);
    Mouse(MOUSEEVENTF_LEFTUP);
    ASSERT_TRUE(PumpUntil([&] { return clicksA == 1; }));

    // Leaving the window hides a shown tooltip.
    ASSERT_TRUE(PumpUntil(tooltipShown));
    log.clear();
    moveTo(350, 250);
    ASSERT_TRUE(logged("a:leave"));
    EXPECT_FALSE(tooltipShown());
    EXPECT_EQ(nullptr, window.hovered);

    // A press on the background drags the window and reaches no element. The
    // system's move loop runs inside this thread's dispatch, so the pointer
    // is driven from another thread.
    moveTo(200, 150);
    PumpFor(100);
    log.clear();
    std::thread user([] {
        Sleep(200);
        Mouse(MOUSEEVENTF_LEFTDOWN);
        for (int step = 1; step <= 10; ++step) {
            Sleep(30);
            Mouse(MOUSEEVENTF_MOVE, 220 + 4 * step, 170 + 3 * step);
        }
        Sleep(200);
        Mouse(MOUSEEVENTF_LEFTUP);
    });
    RECT after = {};
    const bool moved = PumpUntil([&] {
        GetWindowRect(window.hwnd, &after);
        return after.left == 60 && after.top == 50;
    });
    user.join();
    PumpFor(200);
    EXPECT_TRUE(moved) << "window at " << after.left << "," << after.top;
    EXPECT_FALSE(Has(log, "a:down") || Has(log, "b:down") || Has(log, "a:up") || Has(log, "b:up"));
    EXPECT_EQ(1, clicksA + clicksB);
}
