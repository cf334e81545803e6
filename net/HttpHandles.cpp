#include "net/HttpHandles.h"

HttpHandles::~HttpHandles() { HttpCloseHandles(this); }

bool HttpCloseHandles(HttpHandles* handles)
{
    if (!handles) return false;
    if (handles->request) {
        InternetCloseHandle(handles->request);
        handles->request = nullptr;
    }
    if (handles->connection) {
        InternetCloseHandle(handles->connection);
        handles->connection = nullptr;
    }
    if (!handles->internet) return false;
    BOOL closed = InternetCloseHandle(handles->internet);
    handles->internet = nullptr;
    return closed != FALSE;
}
