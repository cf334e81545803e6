#include <gtest/gtest.h>
#include <oleacc.h>
#include <string>
#include "AppTestSupport.h"
#include "app/CMainWnd.h"
#include "app/CMsgBox.h"
#include "ui/dxButton.h"
#include "ui/dxLabel.h"

namespace {

struct Seen {
    bool open = false, ownerDisabled = false, hasClose = false, secondVisible = false, firstFocused = false;
    std::wstring title, buttons;  // "first|second"
    uint32_t messageFormat = 0;
};

std::wstring TextOf(CMsgBox& box, int32_t id)
{
    auto* button = dynamic_cast<dxButton*>(box.FindElement(id));
    return button ? button->text : L"<none>";
}

class MsgBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(LoadRealSkin());
        owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 10, 10, 200, 100, nullptr, nullptr,
                                nullptr, nullptr);
        ASSERT_NE(owner, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(owner);
        CurrentMsgBox = nullptr;
        PumpFor(50);
    }

    // Shows a box, notes what it shows, clicks `click` and returns the result.
    int32_t Show(uint32_t style, int32_t click, const wchar_t* text = L"短消息", MsgBoxInitProc init = nullptr)
    {
        seen = Seen();
        WhenBoxOpens([&, click](CMsgBox& box) {
            seen.open = OpenMsgBoxCount() > 0;
            seen.ownerDisabled = !IsWindowEnabled(owner);
            seen.hasClose = box.FindElement(1001) != nullptr;
            auto* title = dynamic_cast<dxLabel*>(box.FindElement(2001));
            seen.title = title ? title->text : L"";
            seen.buttons = TextOf(box, 1002) + L"|" + TextOf(box, 1003);
            dxControl* second = box.FindElement(1003);
            seen.secondVisible = second && second->IsVisible();
            seen.firstFocused = box.focusElement && box.focusElement == box.FindElement(1002);
            auto* message = dynamic_cast<dxLabel*>(box.FindElement(2002));
            seen.messageFormat = message ? message->format : 0;
            ClickElement(box, click);
        });
        const int32_t result = ShowMsgBox(init, text, owner, style);
        CurrentMsgBox = nullptr;
        return result;
    }

    HWND owner = nullptr;
    Seen seen;
};

TEST_F(MsgBoxTest, StylesNameTheButtonsAndEachButtonGivesItsResult)
{
    EXPECT_EQ(Show(MSGBOX_YES | MSGBOX_NO, 1002), 1);
    EXPECT_EQ(seen.buttons, L"是|否");
    EXPECT_EQ(seen.title, L"提示");
    EXPECT_TRUE(seen.firstFocused);
    EXPECT_TRUE(seen.open);
    EXPECT_TRUE(seen.ownerDisabled);
    EXPECT_EQ(OpenMsgBoxCount(), 0);
    EXPECT_TRUE(IsWindowEnabled(owner));

    EXPECT_EQ(Show(MSGBOX_YES | MSGBOX_NO, 1003), 2);

    EXPECT_EQ(Show(MSGBOX_RETRY | MSGBOX_EXIT, 1003), 2);
    EXPECT_EQ(seen.buttons, L"重试|退出");
    EXPECT_EQ(Show(0, 1002), 1);
    EXPECT_EQ(seen.buttons.substr(0, 3), L"确定|");
    EXPECT_FALSE(seen.secondVisible);
    EXPECT_EQ(Show(MSGBOX_CANCEL, 1003), 2);
    EXPECT_EQ(seen.buttons, L"确定|取消");
    EXPECT_TRUE(seen.secondVisible);
}

TEST_F(MsgBoxTest, LinkAloneKeepsThePlainLayoutAndWithYesAndNoAddsTheCloseButton)
{
    EXPECT_EQ(Show(MSGBOX_LINK | MSGBOX_CANCEL, 1002), 1);
    EXPECT_FALSE(seen.hasClose);
    EXPECT_EQ(seen.buttons, L"确定|取消");

    const uint32_t retryLayout = MSGBOX_LINK | MSGBOX_YES | MSGBOX_NO | MSGBOX_RETRY | MSGBOX_EXIT;
    EXPECT_EQ(Show(retryLayout, 1001), 3);
    EXPECT_TRUE(seen.hasClose);
    EXPECT_EQ(seen.buttons, L"去下载|重试");
    EXPECT_TRUE(seen.firstFocused);
    EXPECT_EQ(Show(retryLayout, 1003), 2);
    EXPECT_EQ(Show(retryLayout, 1002), 1);
}

TEST_F(MsgBoxTest, LongTextWrapsLeftAlignedAndShortTextStaysCentred)
{
    Show(MSGBOX_YES | MSGBOX_NO, 1002, L"您是否要中断下载？");
    EXPECT_EQ(seen.messageFormat & LABEL_MULTILINE, 0u);
    EXPECT_NE(seen.messageFormat & LABEL_CENTER, 0u);

    // The site text is two short lines, but measured on one line it is too wide.
    Show(MSGBOX_LINK | MSGBOX_YES | MSGBOX_NO, 1002, CMainWnd::kSiteText);
    EXPECT_EQ(seen.messageFormat, static_cast<uint32_t>(LABEL_MULTILINE));
    EXPECT_GT(CMsgBox::MeasureSingleLine(CMainWnd::kSiteText), 286);
}

TEST_F(MsgBoxTest, InitProcRunsAfterSetUpAndClosingGivesZero)
{
    static bool called = false;
    called = false;
    WhenBoxOpens([](CMsgBox& box) { PostMessageW(box.hwnd, WM_CLOSE, 0, 0); });
    const int32_t result = ShowMsgBox(
        [](CMsgBox* box) {
            // The layout is already set up when the callback runs.
            auto* button = dynamic_cast<dxButton*>(box->FindElement(1002));
            called = button && button->text == L"是";
        },
        L"x", owner, MSGBOX_YES | MSGBOX_NO);
    CurrentMsgBox = nullptr;
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(called);
}

TEST_F(MsgBoxTest, KeysMoveAndPressAndTheReaderObjectOutlivesTheBox)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    IAccessible* acc = nullptr;
    bool secondFocused = false, cues = false;
    long role = 0;
    WhenBoxOpens([&](CMsgBox& box) {
        AccessibleObjectFromWindow(box.hwnd, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&acc));
        VARIANT self = {};
        self.vt = VT_I4;
        VARIANT r = {};
        if (acc && acc->get_accRole(self, &r) == S_OK) role = r.lVal;
        SendMessageW(box.hwnd, WM_KEYDOWN, VK_TAB, 0);
        secondFocused = box.focusElement == box.FindElement(1003);
        cues = box.keyboardCues;
        SendMessageW(box.hwnd, WM_KEYDOWN, VK_ESCAPE, 0);  // no close button: nothing
        SendMessageW(box.hwnd, WM_KEYDOWN, VK_RETURN, 0);
    });
    EXPECT_EQ(ShowMsgBox(nullptr, L"x", owner, MSGBOX_YES | MSGBOX_NO), 2);
    CurrentMsgBox = nullptr;
    EXPECT_TRUE(secondFocused);
    EXPECT_TRUE(cues);
    EXPECT_EQ(role, ROLE_SYSTEM_DIALOG);
    ASSERT_NE(acc, nullptr);
    long count = 0;
    const HRESULT gone = acc->get_accChildCount(&count);
    EXPECT_TRUE(gone == RPC_E_DISCONNECTED || gone == CO_E_OBJNOTCONNECTED) << std::hex << gone;
    acc->Release();

    // Esc does what the close button does.
    WhenBoxOpens([](CMsgBox& box) { SendMessageW(box.hwnd, WM_KEYDOWN, VK_ESCAPE, 0); });
    EXPECT_EQ(ShowMsgBox(nullptr, L"x", owner, MSGBOX_LINK | MSGBOX_YES | MSGBOX_NO), 3);
    CurrentMsgBox = nullptr;
    CoUninitialize();
}

}  // namespace
