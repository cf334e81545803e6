#include <gtest/gtest.h>
#include <objbase.h>
#include <cstdio>
#include <string>
#include <vector>
#include "AppTestSupport.h"
#include "app/CMainWnd.h"
#include "app/ComTaskbarProgress.h"
#include "app/EventPoster.h"
#include "app/DownloadCallback.h"
#include "app/FormatSpeed.h"
#include "engine/DownloadEvents.h"
#include "engine/ProgressRecord.h"
#include "skin/DpiScale.h"
#include "ui/dxButton.h"
#include "ui/dxImage.h"
#include "ui/dxLabel.h"
#include "ui/dxProgressCtrl.h"

namespace {

DWORD g_fakeTick = 0;
DWORD WINAPI FakeTick() { return g_fakeTick; }

std::wstring Speed(double value)
{
    wchar_t text[kSpeedTextSize];
    FormatSpeed(value, text);
    return text;
}

class MainWndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(LoadRealSkin());
        ASSERT_NO_FATAL_FAILURE(NewWindow());
        window->tickCount = &FakeTick;
        g_fakeTick = 100000;
        ASSERT_TRUE(window->statusLabel && window->speedLabel && window->progressBar && window->maskImage);
    }
    void NewWindow()
    {
        g_mainWnd = window = new CMainWnd();
        ASSERT_TRUE(window->CreateMain());
        // Elements get their places when the window is first sized and painted.
        ASSERT_TRUE(PumpUntil([&] { return !IsRectEmpty(&window->FindElement(1002)->rect); }));
    }
    void TearDown() override
    {
        if (g_mainWnd) DestroyWindow(g_mainWnd->hwnd);
        EXPECT_EQ(g_mainWnd, nullptr);
        EXPECT_EQ(EventPoster::Instance().Window(), nullptr);
        CurrentMsgBox = nullptr;
        PumpFor(50);
    }

    // Posts a progress event and waits until the window has taken it.
    ProgressRecord* Progress(double percent, double speed, bool wait = true)
    {
        auto* record = new ProgressRecord();
        record->percent = percent;
        record->bytesPerSecond = speed;
        record->totalSize = 1000;
        WatchDelete(record);
        EXPECT_TRUE(EventPoster::Instance().Post(EVENT_PROGRESS, reinterpret_cast<LPARAM>(record)));
        if (wait) {
            EXPECT_TRUE(PumpUntil([&] { return WasDeleted(record); }));
        }
        return record;
    }

    bool Alive() const { return g_mainWnd == window && window->hwnd; }

    CMainWnd* window = nullptr;
};

TEST(FormatSpeedTest, UnitsStepAt1024WithDecimalsFromMegabytes)
{
    EXPECT_EQ(Speed(0), L"0 B/s");
    EXPECT_EQ(Speed(1023.9), L"1023 B/s");
    EXPECT_EQ(Speed(1024), L"1 KB/s");
    EXPECT_EQ(Speed(1048575), L"1023 KB/s");
    EXPECT_EQ(Speed(1048576), L"1.00 MB/s");
    EXPECT_EQ(Speed(1.5 * 1048576), L"1.50 MB/s");
    EXPECT_EQ(Speed(5.0 * 1024 * 1024 * 1024 * 1024), L"5120.00 GB/s");
    // A broken record must not make nonsense or overrun the buffer.
    EXPECT_EQ(Speed(-5), L"0 B/s");
    EXPECT_EQ(Speed(1e300).substr(Speed(1e300).size() - 5), L" GB/s");
}

TEST_F(MainWndTest, ProgressMovesBarAndStatusWhileSpeedFollowsAtMostEvery800ms)
{
    Progress(0.6, 5000);
    EXPECT_EQ(window->progressBar->pos, 0);
    EXPECT_EQ(window->statusLabel->text, L"正在下载");
    EXPECT_EQ(window->speedLabel->text, L"");

    Progress(37.8, 2048);
    EXPECT_EQ(window->progressBar->pos, 37);
    EXPECT_EQ(window->statusLabel->text, L"正在下载 37%");
    EXPECT_EQ(window->speedLabel->text, L"2 KB/s");

    g_fakeTick += 500;
    Progress(40.2, 4096);
    EXPECT_EQ(window->statusLabel->text, L"正在下载 40%");
    EXPECT_EQ(window->speedLabel->text, L"2 KB/s");

    g_fakeTick += 300;
    Progress(41, 1048576);
    EXPECT_EQ(window->speedLabel->text, L"1.00 MB/s");
    EXPECT_EQ(window->lastEvent, EVENT_PROGRESS);
}

std::vector<int> g_valuesHeard;

void CALLBACK HearValue(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD)
{
    g_valuesHeard.push_back(g_mainWnd && g_mainWnd->progressBar ? g_mainWnd->progressBar->pos : -1);
}

TEST_F(MainWndTest, AReaderHearsTheProgressAtMostOnceASecondAndTheLastValueOfABurst)
{
    g_valuesHeard.clear();
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr, HearValue,
                                         GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    Progress(20, 1);
    g_fakeTick += 300;
    Progress(30, 1);
    g_fakeTick += 300;
    Progress(45, 1);
    EXPECT_TRUE(PumpUntil([] { return g_valuesHeard.size() == 2; }, 3000));
    PumpFor(1200);
    UnhookWinEvent(hook);
    // Two events: 30 was shown but only its burst's last value, 45, was said.
    ASSERT_EQ(g_valuesHeard.size(), 2u);
    EXPECT_EQ(g_valuesHeard.back(), 45);
}

// Moving to a monitor of another scale: the suggested rectangle is taken and
// everything is laid out from the skin's numbers again, so going back to 96
// gives back exactly the first layout.
TEST_F(MainWndTest, AnotherMonitorsDpiLaysOutAgainAtTheSuggestedRectangleAndBack)
{
    RECT at96[3], first{};
    GetWindowRect(window->hwnd, &first);
    const int kElements[] = {1002, 2005, 2006};  // right-aligned, centred, left-aligned
    for (int i = 0; i < 3; ++i) at96[i] = window->FindElement(kElements[i])->rect;
    auto expectLayout = [&](int dpi, const RECT& place) {
        SendMessageW(window->hwnd, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&place));
        RECT now{};
        GetWindowRect(window->hwnd, &now);
        EXPECT_EQ(now.right - now.left, place.right - place.left) << dpi;
        EXPECT_EQ(now.bottom - now.top, place.bottom - place.top) << dpi;
        for (int i = 0; i < 3; ++i) {
            const RECT want = DpiScale::FromDpi(dpi).Scale(at96[i]);
            EXPECT_TRUE(EqualRect(&window->FindElement(kElements[i])->rect, &want)) << kElements[i] << " at " << dpi;
        }
    };
    expectLayout(144, RECT{40, 30, 40 + 923, 30 + 549});
    expectLayout(96, first);
}

TEST_F(MainWndTest, EveryRecordIsFreedEvenWithoutControllerOrWindow)
{
    auto* done = new ProgressRecord();
    WatchDelete(done);
    EventPoster::Instance().Post(EVENT_DOWNLOADED, reinterpret_cast<LPARAM>(done));
    EXPECT_TRUE(PumpUntil([&] { return WasDeleted(done); }));

    // Queued when the window goes: freed with it, and nothing more is posted.
    ProgressRecord* queued = Progress(50, 1, false);
    DestroyWindow(window->hwnd);
    EXPECT_TRUE(WasDeleted(queued));
    EXPECT_FALSE(EventPoster::Instance().Post(EVENT_FAILED, 0));
}

TEST_F(MainWndTest, CloseAsksAndNoKeepsTheDownloadGoing)
{
    std::wstring asked;
    WhenBoxOpens([&](CMsgBox& box) {
        asked = box.message;
        ClickElement(box, 1003);  // 否
    });
    ASSERT_TRUE(ClickElement(*window, 1002));
    ASSERT_TRUE(PumpUntil([&] { return !asked.empty(); }));
    EXPECT_EQ(asked, L"您是否要中断下载？");
    PumpFor(200);
    EXPECT_TRUE(Alive());
    // The window clears the open box once it has its answer.
    EXPECT_EQ(CurrentMsgBox, nullptr);
    EXPECT_EQ(OpenMsgBoxCount(), 0);

    // Alt+F4 and the taskbar's close ask the same question.
    WhenBoxOpens([](CMsgBox& box) { ClickElement(box, 1002); });  // 是
    SendMessageW(window->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(PumpUntil([&] { return g_mainWnd == nullptr; }));
}

TEST_F(MainWndTest, ABoxStackedOnTheCloseQuestionClosesTheWindowOnlyAfterBothReturned)
{
    int stacked = 0;
    bool openAfterInner = false, engineFailureRefused = false;
    WhenBoxOpens([&](CMsgBox&) {  // 您是否要中断下载？
        WhenBoxOpens([&](CMsgBox& inner) {
            stacked = OpenMsgBoxCount();
            ClickElement(inner, 1001);  // the failure prompt's close: leave
        });
        EventPoster::Instance().Post(EVENT_FAILED, 0);
        PumpUntil([&] { return stacked != 0 && OpenMsgBoxCount() == 1; });
        openAfterInner = OpenMsgBoxCount() > 0;
        engineFailureRefused = !EventPoster::Instance().OnEngineEvent(EVENT_FAILED, nullptr);
    });
    window->CloseAction();
    EXPECT_EQ(stacked, 2);
    EXPECT_TRUE(openAfterInner);  // the outer box still counts as open
    EXPECT_TRUE(engineFailureRefused);
    ASSERT_TRUE(Alive());  // not destroyed under the boxes' loops
    EXPECT_EQ(OpenMsgBoxCount(), 0);
    EXPECT_TRUE(PumpUntil([&] { return g_mainWnd == nullptr; }));
}

TEST_F(MainWndTest, FailurePromptMasksTheWindowAndRetryStartsAgain)
{
    bool masked = false, disabled = false, retryLayout = false;
    WhenBoxOpens([&](CMsgBox& box) {
        masked = window->maskImage->IsVisible();
        disabled = !IsWindowEnabled(window->hwnd);
        retryLayout = box.FindElement(1001) != nullptr;
        ClickElement(box, 1003);  // 重试
    });
    Progress(20, 100);
    EventPoster::Instance().Post(EVENT_FAILED, 0);
    ASSERT_TRUE(PumpUntil([&] { return window->retrying != 0; }));
    EXPECT_TRUE(masked);
    EXPECT_TRUE(disabled);
    EXPECT_TRUE(retryLayout);
    EXPECT_TRUE(PumpUntil([&] { return !window->maskImage->IsVisible(); }));
    EXPECT_EQ(window->lastEvent, -1);
    EXPECT_EQ(window->progressBar->pos, 0);
    EXPECT_EQ(window->statusLabel->text, L"重新下载中，请稍候");

    Progress(37.8, 100);
    EXPECT_EQ(window->statusLabel->text, L"重新下载中，请稍候 37%");

    // Not a failure any more: closing asks again.
    bool asked = false;
    WhenBoxOpens([&](CMsgBox& box) {
        asked = true;
        ClickElement(box, 1003);
    });
    window->CloseAction();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(Alive());
}

TEST_F(MainWndTest, AFullDiskIsSaidPlainlyInTheFailurePromptAndOtherCausesKeepTheSiteText)
{
    struct Seen {
        std::wstring message, buttons;
        bool retryLayout = false;
    };
    std::vector<Seen> seen;
    const auto answerRetry = [&] {
        WhenBoxOpens([&](CMsgBox& box) {
            auto* first = dynamic_cast<dxButton*>(box.FindElement(1002));
            auto* second = dynamic_cast<dxButton*>(box.FindElement(1003));
            seen.push_back({box.message, (first ? first->text : L"") + L"|" + (second ? second->text : L""),
                            box.FindElement(1001) != nullptr});
            ClickElement(box, 1003);  // 重试
        });
    };
    // The engine's road and the controller's (through the listener) carry the cause alike.
    answerRetry();
    ASSERT_TRUE(EventPoster::Instance().OnEngineFailure(FAILURE_DISK_FULL));
    ASSERT_TRUE(PumpUntil([&] { return seen.size() == 1 && window->retrying != 0; }));
    DownloadCallback callback;
    for (FailureCause cause : {FAILURE_DISK_FULL, FAILURE_OTHER}) {
        window->retrying = 0;
        answerRetry();
        callback.OnNotify(EVENT_FAILED, reinterpret_cast<void*>(static_cast<intptr_t>(cause)));
        ASSERT_TRUE(PumpUntil([&] { return window->retrying != 0; }));
    }
    window->retrying = 0;
    answerRetry();
    ASSERT_TRUE(EventPoster::Instance().OnEngineFailure(FAILURE_OTHER));
    ASSERT_TRUE(PumpUntil([&] { return seen.size() == 4 && window->retrying != 0; }));

    const std::wstring full = L"磁盘空间不足，请清理后重试";
    const std::wstring expected[] = {full, full, CMainWnd::kSiteText, CMainWnd::kSiteText};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(seen[i].message, expected[i]) << i;
        EXPECT_EQ(seen[i].buttons, L"去下载|重试") << i;
        EXPECT_TRUE(seen[i].retryLayout) << i;
    }
    EXPECT_EQ(CMainWnd::kSiteText, std::wstring(L"               无法进行下载安装\r\n           请访问官网下载完整包"));
    EXPECT_TRUE(Alive());
}

TEST_F(MainWndTest, AfterTheFailurePromptCloseDoesNotAsk)
{
    // The failure prompt's close button leaves at once.
    WhenBoxOpens([](CMsgBox& box) { ClickElement(box, 1001); });
    EventPoster::Instance().Post(EVENT_FAILED, 0);
    EXPECT_TRUE(PumpUntil([&] { return g_mainWnd == nullptr; }));
    ASSERT_NO_FATAL_FAILURE(NewWindow());
    window->lastEvent = EVENT_FAILED;
    bool asked = false;
    WhenBoxOpens([&](CMsgBox& box) {
        asked = true;
        ClickElement(box, 1003);
    });
    window->CloseAction();
    EXPECT_TRUE(PumpUntil([&] { return g_mainWnd == nullptr; }, 3000));
    EXPECT_FALSE(asked);
}

TEST_F(MainWndTest, JobFinishingWhileTheCloseQuestionIsOpenEndsTheLoopNotTheJob)
{
    WhenBoxOpens([&](CMsgBox&) { EventPoster::Instance().Post(EVENT_READY, 0); });
    int quits = 0;
    window->CloseAction();
    PumpFor(300, &quits);
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(Alive());  // no WM_CLOSE: the user's unanswered question does not abort the job
    EXPECT_TRUE(window->quitPosted);
}

// What the window asked of its taskbar button, in order.
class TaskbarRecorder : public ITaskbarProgress {
public:
    explicit TaskbarRecorder(std::vector<std::wstring>& calls) : calls_(calls) {}
    void OnButtonCreated(HWND) override { calls_.push_back(L"button"); }
    void SetProgress(int percent) override { calls_.push_back(std::to_wstring(percent)); }
    void SetError() override { calls_.push_back(L"error"); }
    void Clear() override { calls_.push_back(L"clear"); }
    void Flash(HWND) override { calls_.push_back(L"flash"); }

private:
    std::vector<std::wstring>& calls_;
};

TEST_F(MainWndTest, TaskbarFollowsProgressShowsTheFailureAndFlashesWhileMinimised)
{
    std::vector<std::wstring> calls;
    window->taskbar.reset(new TaskbarRecorder(calls));
    SendMessageW(window->hwnd, RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0);
    Progress(0.6, 1);  // below 1 %: nothing
    Progress(37.8, 1);
    ShowWindow(window->hwnd, SW_MINIMIZE);
    std::vector<std::wstring> inBox;
    WhenBoxOpens([&](CMsgBox& box) {
        inBox = calls;
        ClickElement(box, 1003);  // 重试
    });
    EventPoster::Instance().Post(EVENT_FAILED, 0);
    ASSERT_TRUE(PumpUntil([&] { return window->retrying != 0; }));
    EXPECT_EQ(inBox, (std::vector<std::wstring>{L"button", L"37", L"error", L"flash"}));
    ShowWindow(window->hwnd, SW_RESTORE);
    Progress(50, 1);
    EventPoster::Instance().Post(EVENT_READY, 0);
    ASSERT_TRUE(PumpUntil([&] { return window->quitPosted; }));
    PumpFor(50);
    EXPECT_EQ(calls, (std::vector<std::wstring>{L"button", L"37", L"error", L"flash", L"0", L"50", L"clear"}));
}

TEST(ComTaskbarProgressTest, WithoutOrWithWinesButtonNothingFails)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    HWND sink = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(ComTaskbarProgress::AllowButtonCreated(sink), 0u);
    {
        ComTaskbarProgress taskbar;
        taskbar.SetProgress(5);  // before the button: only remembered
        taskbar.OnButtonCreated(sink);
        std::printf("taskbar interface %s\n", taskbar.Available() ? "available" : "unavailable");
        taskbar.SetProgress(150);
        taskbar.SetError();
        taskbar.Clear();
        taskbar.OnButtonCreated(sink);  // Explorer restarted
    }
    DestroyWindow(sink);
    CoUninitialize();
}

TEST(DownloadCallbackTest, RecordsTheControllersLastWordAndPostsOnlyToAWindow)
{
    DownloadCallback callback;
    EventPoster::Instance().SetWindow(nullptr);
    int marker = 0;
    callback.OnNotify(EVENT_NEWER_VERSION, &marker);
    EXPECT_EQ(callback.lastNotified, EVENT_NEWER_VERSION);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_DOWNLOAD_EVENT, WM_DOWNLOAD_EVENT, PM_REMOVE));

    HWND sink = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    EventPoster::Instance().SetWindow(sink);
    callback.OnNotify(EVENT_READY, &marker);
    ASSERT_TRUE(PeekMessageW(&msg, sink, WM_DOWNLOAD_EVENT, WM_DOWNLOAD_EVENT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(EVENT_READY));
    EXPECT_EQ(msg.lParam, reinterpret_cast<LPARAM>(&marker));
    EXPECT_EQ(callback.lastNotified, EVENT_READY);

    // The engine's own events go around the listener.
    auto* record = new ProgressRecord();
    EventPoster::Instance().Post(EVENT_PROGRESS, reinterpret_cast<LPARAM>(record));
    EXPECT_EQ(callback.lastNotified, EVENT_READY);
    ASSERT_TRUE(PeekMessageW(&msg, sink, WM_DOWNLOAD_EVENT, WM_DOWNLOAD_EVENT, PM_REMOVE));
    delete reinterpret_cast<ProgressRecord*>(msg.lParam);

    // With no box open the engine's failure goes through too.
    EXPECT_TRUE(EventPoster::Instance().OnEngineEvent(EVENT_FAILED, nullptr));
    ASSERT_TRUE(PeekMessageW(&msg, sink, WM_DOWNLOAD_EVENT, WM_DOWNLOAD_EVENT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(EVENT_FAILED));

    callback.OnNotify(EVENT_FAILED, &marker);
    EXPECT_EQ(callback.lastNotified, EVENT_FAILED);
    EventPoster::Instance().SetWindow(nullptr);
    DestroyWindow(sink);
}

}  // namespace
