#include <gtest/gtest.h>
#include <windows.h>
#include <memory>
#include <thread>
#include <string>
#include <vector>
#include "UiTestSupport.h"
#include "ui/dxButton.h"
#include "ui/dxCanvas.h"

// Real input: SendInput goes through the system's input path, so capture,
// hover tracking and the tooltip behave as they do for a user.
namespace {

class RecordingButton : public dxButton {
public:
    RecordingButton(std::string name, std::vector<std::string>* log) : name_(std::move(name)), log_(log) {}
    void OnEvent(const dxEvent& event) override
    {
        static const char* const kinds[] = {"?", "move", "hover", "leave", "enter", "wheel", "down", "up", "dblclk"};
        log_->push_back(name_ + ":" + kinds[event.type <= EVT_DBLCLK ? event.type : 0]);
        dxButton::OnEvent(event);
    }

private:
    std::string name_;
    std::vector<std::string>* log_;
};

void MoveCursor(int x, int y)
{
    const int w = GetSystemMetrics(SM_CXSCREEN);
    const int h = GetSystemMetrics(SM_CYSCREEN);
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dx = (x * 65536 + w - 1) / w;
    in.mi.dy = (y * 65536 + h - 1) / h;
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof(in));
}

void Button(bool down)
{
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &in, sizeof(in));
}

bool Contains(const std::vector<std::string>& log, const std::string& entry)
{
    for (const auto& e : log)
        if (e == entry) return true;
    return false;
}

struct TwoButtons {
    std::vector<std::string> log;
    TestWindow window;
    RecordingButton* a = nullptr;
    RecordingButton* b = nullptr;
    int clicksA = 0;
    int clicksB = 0;

    bool Open()
    {
        if (!window.Open(WS_POPUP)) return false;
        auto canvas = std::make_unique<dxCanvas>();
        canvas->owner = &window;
        auto add = [&](const char* name, int x, const wchar_t* tip, int* clicks) {
            auto button = std::make_unique<RecordingButton>(name, &log);
            button->owner = &window;
            button->x = x;
            button->y = 20;
            button->width = 80;
            button->height = 40;
            button->tooltip = tip;
            button->Connect(EVENT_CLICK, [clicks](dxControl*) { ++*clicks; });
            return static_cast<RecordingButton*>(canvas->AddChild(std::move(button)));
        };
        a = add("a", 20, L"first", &clicksA);
        b = add("b", 100, L"second", &clicksB);
        window.children.push_back(std::move(canvas));
        // Topmost and away from the screen centre, where other tests open theirs.
        SetWindowPos(window.hwnd, HWND_TOPMOST, 20, 20, 300, 200, SWP_SHOWWINDOW);
        SetForegroundWindow(window.hwnd);
        RECT client;
        GetClientRect(window.hwnd, &client);
        window.Layout(nullptr, client);
        PumpFor(200);
        return true;
    }

    POINT Screen(int cx, int cy) const
    {
        POINT p = {cx, cy};
        ClientToScreen(window.hwnd, &p);
        return p;
    }

    void MoveTo(int cx, int cy)
    {
        POINT p = Screen(cx, cy);
        MoveCursor(p.x, p.y);
    }

    bool TooltipShown() const { return window.tooltipWindow && IsWindowVisible(window.tooltipWindow); }
};

size_t IndexOf(const std::vector<std::string>& log, const std::string& entry, size_t from = 0)
{
    for (size_t i = from; i < log.size(); ++i)
        if (log[i] == entry) return i;
    return log.size();
}

void HoverCaptureAndTooltip(TwoButtons& ui)
{
    ui.MoveTo(60, 40);
    ASSERT_TRUE(PumpUntil([&] { return Contains(ui.log, "a:enter"); }));

    // From one button to the next: the first hears of it before the second.
    ui.log.clear();
    ui.MoveTo(140, 40);
    ASSERT_TRUE(PumpUntil([&] { return Contains(ui.log, "b:move"); }));
    ASSERT_GE(ui.log.size(), 3u);
    EXPECT_EQ("a:leave", ui.log[0]);
    EXPECT_EQ("b:enter", ui.log[1]);
    EXPECT_EQ("b:move", ui.log[2]);
    EXPECT_FALSE(ui.TooltipShown());

    // Resting on the button shows its tooltip; pressing hides it.
    ASSERT_TRUE(PumpUntil([&] { return ui.TooltipShown(); }, 5000));
    EXPECT_TRUE(Contains(ui.log, "b:hover"));
    Button(true);
    ASSERT_TRUE(PumpUntil([&] { return Contains(ui.log, "b:down"); }));
    EXPECT_FALSE(ui.TooltipShown());
    EXPECT_TRUE(ui.b->state & STATE_PRESSED);
    EXPECT_EQ(ui.window.hwnd, GetCapture());

    // While b holds the capture, moves over a still go to b only.
    ui.log.clear();
    ui.MoveTo(60, 45);
    ASSERT_TRUE(PumpUntil([&] { return Contains(ui.log, "b:move"); }));
    PumpFor(100);
    for (const auto& e : ui.log) EXPECT_EQ("b:move", e);
    EXPECT_EQ(ui.b, ui.window.hovered);

    // Let go over a: no click for b; the hover moves on to a.
    Button(false);
    ASSERT_TRUE(PumpUntil([&] { return Contains(ui.log, "a:enter"); }));
    EXPECT_EQ(0, ui.clicksB);
    EXPECT_FALSE(ui.b->state & (STATE_PRESSED | STATE_CAPTURED));
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_LT(IndexOf(ui.log, "b:up"), IndexOf(ui.log, "a:enter"));

    // A press and release on a clicks it.
    Button(true);
    Button(false);
    ASSERT_TRUE(PumpUntil([&] { return ui.clicksA == 1; }));

    // Leaving the window hides a shown tooltip.
    ASSERT_TRUE(PumpUntil([&] { return ui.TooltipShown(); }, 5000));
    ui.log.clear();
    ui.MoveTo(350, 250);
    ASSERT_TRUE(PumpUntil([&] { return Contains(ui.log, "a:leave"); }));
    EXPECT_FALSE(ui.TooltipShown());
    EXPECT_EQ(nullptr, ui.window.hovered);
}

void PressOnTheBackgroundDrags(TwoButtons& ui)
{
    RECT before;
    GetWindowRect(ui.window.hwnd, &before);
    const POINT start = ui.Screen(200, 150);
    MoveCursor(start.x, start.y);
    PumpFor(100);
    ui.log.clear();

    // The system's move loop runs inside this thread's dispatch, so the
    // pointer is driven from another thread.
    std::thread user([start] {
        Sleep(200);
        Button(true);
        for (int step = 1; step <= 10; ++step) {
            Sleep(30);
            MoveCursor(start.x + 4 * step, start.y + 3 * step);
        }
        Sleep(200);
        Button(false);
    });
    RECT after = before;
    const bool moved = PumpUntil([&] {
        GetWindowRect(ui.window.hwnd, &after);
        return after.left == before.left + 40 && after.top == before.top + 30;
    });
    user.join();
    PumpFor(200);
    EXPECT_TRUE(moved) << "window at " << after.left << "," << after.top;
    for (const auto& e : ui.log) {
        EXPECT_EQ(std::string::npos, e.find(":down"));
        EXPECT_EQ(std::string::npos, e.find(":up"));
    }
    EXPECT_EQ(0, ui.clicksA + ui.clicksB);
}

}  // namespace

// One test case: the pointer is shared by everything on the display.
TEST(MouseInput, RealPointerDrivesTheTracker)
{
    TwoButtons ui;
    ASSERT_TRUE(ui.Open());
    HoverCaptureAndTooltip(ui);
    ui.log.clear();
    ui.clicksA = ui.clicksB = 0;
    PressOnTheBackgroundDrags(ui);
}
