#include "DebugOutputCapture.h"

DebugOutputCapture::DebugOutputCapture()
{
    bufferReady_.Reset(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
    dataReady_.Reset(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
    mapping_.Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER"));
    stop_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!bufferReady_ || !dataReady_ || !mapping_ || !stop_) return;
    view_ = MapViewOfFile(mapping_.Get(), FILE_MAP_READ, 0, 0, 4096);
    if (!view_) return;
    listener_ = std::thread([this] { Listen(); });
}

DebugOutputCapture::~DebugOutputCapture()
{
    if (stop_) SetEvent(stop_.Get());
    if (listener_.joinable()) listener_.join();
    if (view_) UnmapViewOfFile(view_);
}

std::string DebugOutputCapture::Text()
{
    std::lock_guard<std::mutex> guard(mutex_);
    return text_;
}

void DebugOutputCapture::Listen()
{
    SetEvent(bufferReady_.Get());
    HANDLE waits[] = {stop_.Get(), dataReady_.Get()};
    while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        const char* buffer = static_cast<const char*>(view_);
        DWORD pid = *reinterpret_cast<const DWORD*>(buffer);
        if (pid == GetCurrentProcessId()) {
            std::lock_guard<std::mutex> guard(mutex_);
            text_.append(buffer + sizeof(DWORD), strnlen(buffer + sizeof(DWORD), 4096 - sizeof(DWORD)));
        }
        SetEvent(bufferReady_.Get());
    }
}
