#pragma once

#include <cstdint>

// A monotonic clock in microseconds, finer than the tick count, whose steps are 10 to 16 ms on
// Windows.
uint64_t MicrosecondsNow();
