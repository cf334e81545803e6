#pragma once
#include <windows.h>

#include <mutex>
#include <string>
#include <thread>

#include "platform/UniqueHandle.h"

// Collects what this process writes to the debugger output, through the
// system's shared debug buffer, while the object lives.
class DebugOutputCapture {
public:
    DebugOutputCapture();
    ~DebugOutputCapture();
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    bool Active() const { return view_ != nullptr; }
    std::string Text();

private:
    void Listen();

    UniqueHandle mapping_;
    void* view_ = nullptr;
    UniqueHandle bufferReady_;
    UniqueHandle dataReady_;
    UniqueHandle stop_;
    std::thread listener_;
    std::mutex mutex_;
    std::string text_;
};
