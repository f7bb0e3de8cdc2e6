#pragma once

// The one clock of the benchmarks.

#include <windows.h>

namespace bench {

// Seconds on the performance counter; only differences mean anything.
inline double Now() {
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

} // namespace bench
