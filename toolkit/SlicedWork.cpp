#include "toolkit/SlicedWork.h"

void SlicedWork::Tick(void* work) {
    auto* self = static_cast<SlicedWork*>(work);
    if (!self->guard())
        self->slice(self->context);
}

uint64_t SlicedWork::Microseconds() {
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
