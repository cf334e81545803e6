#pragma once
#include "platform/UniqueAny.h"

// A kernel handle (file, event, thread, mutex, token, process, mapping). Both
// null and INVALID_HANDLE_VALUE mean "no handle": the API uses either.
struct KernelHandleTraits : NullHandleTraits<HANDLE> {
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
using UniqueHandle = UniqueAny<KernelHandleTraits>;
