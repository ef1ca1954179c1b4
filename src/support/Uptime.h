#pragma once

#include <time.h>

// Seconds of system uptime (monotonic), the time base of trigger-key taps.
inline double uptimeSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}
