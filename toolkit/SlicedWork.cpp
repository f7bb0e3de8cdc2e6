#include "toolkit/SlicedWork.h"

void SlicedWork::Tick(void* work) {
    auto* self = static_cast<SlicedWork*>(work);
    if (!self->guard())
        self->slice(self->context);
}
