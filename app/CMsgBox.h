#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include "ui/dxDialogImpl.h"

// Style bits of a message box.
enum : uint32_t {
    MSGBOX_CANCEL = 0x01,  // keep the second button as "取消"
    MSGBOX_YES = 0x02,     // first button "是"
    MSGBOX_NO = 0x04,      // second button "否"
    MSGBOX_RETRY = 0x08,   // first button "重试" (without MSGBOX_YES)
    MSGBOX_EXIT = 0x10,    // second button "退出" (without MSGBOX_NO)
    MSGBOX_LINK = 0x20,    // with YES and NO: the layout with "去下载", "重试" and a close button
};

class CMsgBox;
// Called once the box's controls are set up; may rename or change them.
using MsgBoxInitProc = void (*)(CMsgBox*);

// The skinned, modal message box built from "msgbox" or "msgbox_with_retry".
// Its result: 1 first button, 2 second button, 3 close button, 0 closed
// another way, -1 window not created.
class CMsgBox : public dxDialogImpl {
public:
    CMsgBox() = default;
    ~CMsgBox() override;

    bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    long AccessibleRole() const override;
    std::wstring AccessibleName() const override;
    std::wstring AccessibleDescription() const override { return message; }

    static bool UsesRetryLayout(uint32_t style);
    // Width of the text on one line in the box's font (line breaks counted
    // as characters); -1 when it cannot be measured.
    static int MeasureSingleLine(const std::wstring& text);

    std::wstring title;
    std::wstring message;
    uint32_t style = MSGBOX_CANCEL;
    MsgBoxInitProc initProc = nullptr;

private:
    void SetUpControls();
    void SetUpLabels();
    void SetUpButton(int32_t id, int32_t buttonResult, const wchar_t* text, bool focus);
};

// The innermost box being shown, or null. ShowMsgBox sets it and, when it
// returns, gives it back to the box it was stacked on (null when none).
extern CMsgBox* CurrentMsgBox;
// Boxes whose ShowMsgBox has not returned yet; any thread may ask.
int OpenMsgBoxCount();

// Runs a message box modally over owner and returns its result.
int32_t ShowMsgBox(MsgBoxInitProc initProc, const wchar_t* text, HWND owner, uint32_t style);
