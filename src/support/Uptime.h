#pragma once

#include <chrono>

// Seconds on the monotonic clock (time since boot on Linux), the time base of
// trigger-key taps.
inline double uptimeSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
