// Does to a window what Explorer and its user do to a taskbar button:
//   button    announces the button ("TaskbarButtonCreated"), as Explorer does
//             when it shows one or restarts;
//   minimise  minimises the window, as a click on its active button does;
//   restore   restores and activates it, as a click on a flashing button does.
// Wine runs no taskbar of its own under a bare X server, so without this a
// program never hears of its button there.
#include <windows.h>
#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: shell button|minimise|restore WINDOW-TITLE\n");
        return 2;
    }
    HWND window = FindWindowW(L"DXWindow", argv[2]);
    if (!window) {
        fprintf(stderr, "shell: no such window\n");
        return 1;
    }
    const wchar_t* action = argv[1];
    if (wcscmp(action, L"button") == 0) {
        const UINT created = RegisterWindowMessageW(L"TaskbarButtonCreated");
        return created && PostMessageW(window, created, 0, 0) ? 0 : 1;
    }
    if (wcscmp(action, L"minimise") == 0) {
        ShowWindow(window, SW_MINIMIZE);
        return IsIconic(window) ? 0 : 1;
    }
    if (wcscmp(action, L"restore") == 0) {
        ShowWindow(window, SW_RESTORE);
        SetForegroundWindow(window);
        return IsIconic(window) ? 1 : 0;
    }
    fprintf(stderr, "shell: unknown action\n");
    return 2;
}
