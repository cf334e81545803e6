#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <utility>
#include <vector>
#include "support/Wait.h"
#include "ui/dxDialogImpl.h"
#include "ui/dxWindowImpl.h"

// Loads the skin archive that the build made into the process-wide store.
bool LoadRealSkin();
// Loads an archive of the given (name, text) entries into the store.
bool LoadSkinOf(const std::vector<std::pair<std::string, std::string>>& entries);

// Where the tests write what they want a person to look at.
std::string ArtifactPath(const std::string& name);
// Writes the back buffer of a painted layered window as a BMP.
bool WriteBackBuffer(const dxWindowImplBase& window, const std::string& path);

// A window that builds the named description while it is created.
class TestWindow : public dxWindowImpl {
public:
    explicit TestWindow(std::string description = std::string()) : description_(std::move(description)) {}
    ~TestWindow() override;

    bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    // A popup window; the description sizes and centres it. Under Wine
    // without a window manager, hiding or destroying an active window takes
    // about two seconds, so tests keep their windows few.
    bool Open(DWORD style = WS_POPUP | WS_VISIBLE, HWND parent = nullptr);

    int destroyedCalls = 0;
    void OnWindowDestroyed(HWND) override { ++destroyedCalls; }

private:
    std::string description_;
};

// A dialog that builds the named description and then runs `onCreate`.
class TestDialog : public dxDialogImpl {
public:
    explicit TestDialog(std::string description = std::string()) : description_(std::move(description)) {}
    bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    // onCreate runs in WM_CREATE, after the description; onApp when the
    // dialog receives WM_APP (post it from onCreate to act inside the run).
    std::function<void(TestDialog&)> onCreate;
    std::function<void(TestDialog&)> onApp;
    bool failCreate = false;

private:
    std::string description_;
};
