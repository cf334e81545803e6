#include "platform/ThreadAffinity.h"

#include <cstdlib>

void ThreadAffinity::Violated()
{
    OutputDebugStringA("Quorvex: an object owned by one thread was called from another\n");
    std::abort();
}
