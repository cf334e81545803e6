#include "controller/RetryWithPause.h"

namespace {

constexpr int kAttempts = 5;
constexpr DWORD kPauseMs = 1000;

}  // namespace

Attempt RetryWithPause(HANDLE abort, const std::function<Attempt()>& attempt)
{
    for (int i = 0; i < kAttempts; ++i) {
        const Attempt result = attempt();
        if (result != Attempt::Failed) return result;
        if (WaitForSingleObject(abort, kPauseMs) != WAIT_TIMEOUT) return Attempt::Stopped;
    }
    return Attempt::Failed;
}
