#pragma once
#include <cstdint>
#include <map>
#include "ui/dxWindowImplBase.h"

// Implementation flags.
enum : uint32_t { RUNNING_MODAL = 0x10 };

// The window that application windows derive from: a frameless, skinned
// top-level window built from a window description, with its elements
// reachable by id.
class dxWindowImpl : public dxWindowImplBase {
public:
    dxWindowImpl() = default;
    // The window must already be gone.
    ~dxWindowImpl() override;

    bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    // Creates the window; a description loaded during WM_CREATE that asks
    // for layering makes it a layered window.
    bool Create(HWND parent, const wchar_t* className, const wchar_t* windowName, const RECT& rect, DWORD style,
                DWORD exStyle) override;
    void OnWindowDestroyed(HWND window) override;
    void Layout(HDC dc, const RECT& client) override;

    // Builds the elements of the named description, sizes the window and
    // centres it on its owner. Meant for WM_CREATE.
    bool LoadDescription(const char* name);
    dxControl* FindElement(int32_t elementId) const;
    // Centres the window on its owner (or parent), kept inside the work
    // area (or the parent's client area).
    void CenterOnOwner();

    uint32_t implFlags = 0;
    std::map<int32_t, dxControl*> idMap;  // not owning
};
