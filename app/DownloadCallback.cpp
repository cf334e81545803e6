#include "app/DownloadCallback.h"
#include "app/EventPoster.h"

void DownloadCallback::OnNotify(int32_t code, void* param)
{
    // Stored before the post, so the event that ends the loop is already recorded.
    lastNotified.store(code);
    // No window: nothing is queued or retried. The parameter of the
    // controller's events is its own record, never freed by the window.
    EventPoster::Instance().Post(code, reinterpret_cast<LPARAM>(param));
}
