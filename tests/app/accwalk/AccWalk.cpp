// Reads a window's accessible tree the way a screen reader does and prints
// one line per child: "role<TAB>name<TAB>value". With "press NAME" it also
// runs the default action of the child of that name. "events SECONDS" hears
// what a reader hears instead: see ListenForEvents.
#include <windows.h>
#include <oleacc.h>
#include <cstdio>
#include <string>

namespace {

std::string Utf8(const wchar_t* text)
{
    if (!text) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    return out;
}

std::string Text(IAccessible* acc, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), long id)
{
    VARIANT child;
    child.vt = VT_I4;
    child.lVal = id;
    BSTR value = nullptr;
    std::string out;
    if ((acc->*get)(child, &value) == S_OK && value) out = Utf8(value);
    SysFreeString(value);
    // One line per child: a message's line breaks become spaces.
    for (char& c : out) {
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    }
    return out;
}

long Role(IAccessible* acc, long id)
{
    VARIANT child, role;
    child.vt = VT_I4;
    child.lVal = id;
    role.vt = VT_EMPTY;
    return acc->get_accRole(child, &role) == S_OK && role.vt == VT_I4 ? role.lVal : -1;
}

bool g_dialogEnded = false;

// Reads the object a dialog, focus or value event names, as a reader does on
// hearing it.
void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD)
{
    if (event != EVENT_SYSTEM_DIALOGSTART && event != EVENT_SYSTEM_DIALOGEND && event != EVENT_OBJECT_FOCUS &&
        event != EVENT_OBJECT_VALUECHANGE)
        return;
    IAccessible* acc = nullptr;
    VARIANT id;
    VariantInit(&id);
    std::string name, value;
    if (SUCCEEDED(AccessibleObjectFromEvent(window, object, child, &acc, &id)) && acc) {
        const long childId = id.vt == VT_I4 ? id.lVal : CHILDID_SELF;
        name = Text(acc, &IAccessible::get_accName, childId);
        value = Text(acc, &IAccessible::get_accValue, childId);
        acc->Release();
    }
    VariantClear(&id);
    printf("0x%04lx\t%s\t%s\n", event, name.c_str(), value.c_str());
    fflush(stdout);
    if (event == EVENT_SYSTEM_DIALOGEND) g_dialogEnded = true;
}

// Prints "ready" once hooked, then "event<TAB>name<TAB>value" for each of those
// events in other processes, until a dialog ends or time is up.
int ListenForEvents(DWORD seconds)
{
    const HWINEVENTHOOK hook = SetWinEventHook(EVENT_SYSTEM_DIALOGSTART, EVENT_OBJECT_VALUECHANGE, nullptr, OnEvent, 0,
                                               0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    if (!hook) return 1;
    printf("ready\n");
    fflush(stdout);
    // Out-of-context events arrive through this thread's message queue.
    const DWORD end = GetTickCount() + seconds * 1000;
    for (DWORD now = GetTickCount(); !g_dialogEnded && static_cast<LONG>(end - now) > 0; now = GetTickCount()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    UnhookWinEvent(hook);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: accwalk WINDOW-TITLE|#HWND [press NAME] | accwalk events SECONDS\n");
        return 2;
    }
    CoInitialize(nullptr);
    if (argc == 3 && wcscmp(argv[1], L"events") == 0) {
        const int status = ListenForEvents(wcstoul(argv[2], nullptr, 10));
        CoUninitialize();
        return status;
    }
    HWND window = argv[1][0] == L'#' ? reinterpret_cast<HWND>(wcstoul(argv[1] + 1, nullptr, 0))
                                     : FindWindowW(L"DXWindow", argv[1]);
    IAccessible* acc = nullptr;
    if (!window ||
        FAILED(AccessibleObjectFromWindow(window, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&acc))) ||
        !acc) {
        fprintf(stderr, "accwalk: no accessible object\n");
        return 1;
    }
    const std::string press = argc >= 4 && wcscmp(argv[2], L"press") == 0 ? Utf8(argv[3]) : std::string();
    printf("%ld\t%s\t%s\n", Role(acc, CHILDID_SELF), Text(acc, &IAccessible::get_accName, CHILDID_SELF).c_str(),
           Text(acc, &IAccessible::get_accDescription, CHILDID_SELF).c_str());
    long count = 0;
    acc->get_accChildCount(&count);
    int status = press.empty() ? 0 : 1;
    for (long id = 1; id <= count; ++id) {
        const std::string name = Text(acc, &IAccessible::get_accName, id);
        printf("%ld\t%s\t%s\n", Role(acc, id), name.c_str(), Text(acc, &IAccessible::get_accValue, id).c_str());
        if (!press.empty() && name == press) {
            VARIANT child;
            child.vt = VT_I4;
            child.lVal = id;
            if (acc->accDoDefaultAction(child) == S_OK) status = 0;
        }
    }
    fflush(stdout);
    acc->Release();
    CoUninitialize();
    return status;
}
