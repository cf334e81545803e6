#pragma once
#include <windows.h>

#include <functional>

// What one attempt of a network step came to, and what a series of them did.
enum class Attempt {
    Succeeded,
    Stopped,   // the task is gone or cancelled, or shutdown cut a pause short
    Failed,    // this attempt failed; as a series: every attempt failed
    Hopeless,  // this attempt failed in a way that another cannot mend: the series ends
};

// Runs `attempt` up to five times, pausing a second after each failed one.
// The pause ends at once when `abort` is set, which stops the series.
Attempt RetryWithPause(HANDLE abort, const std::function<Attempt()>& attempt);
