#include "toolkit/Microseconds.h"

#include <windows.h>

uint64_t MicrosecondsNow() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<uint64_t>(now.QuadPart / frequency * 1000000 +
                                 now.QuadPart % frequency * 1000000 / frequency);
}
