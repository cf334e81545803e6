#include "net/HttpHandles.h"

bool HttpCloseHandles(HttpHandles* handles)
{
    if (!handles) return false;
    handles->request.Reset();
    handles->connection.Reset();
    if (!handles->internet) return false;
    return INET_CALL(InternetCloseHandle)(handles->internet.Release()) != FALSE;
}
