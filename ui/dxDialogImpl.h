#pragma once
#include "ui/dxWindowImpl.h"

// A window run modally over its owner until one of its handlers ends it
// with a result (or it is closed).
class dxDialogImpl : public dxWindowImpl {
public:
    dxDialogImpl() = default;

    // Disables the owner (and its top-level root), creates the dialog and
    // runs a message loop until EndModal, a posted WM_CLOSE, a WM_QUIT
    // (posted again for the outer loop) or the dialog's destruction; then
    // enables and activates the owner again and destroys the dialog.
    // Returns `result`, or -1 when the window cannot be created.
    int32_t RunModal(HWND owner, const RECT& rect);
    // Ends a running loop (waking it with WM_NULL) and stores the result;
    // outside a run it only stores the result.
    void EndModal(int32_t value);

    int32_t result = 0;
};
