#pragma once

#include <windows.h>

#include <cstddef>

// Brings a range of fresh memory in with one call, ahead of its first use: locking a range faults
// its pages in at once, which on some machines costs half of touching them one by one. Where
// locking is refused (a small working-set quota), the first use brings them in as before.
inline void BringInPages(void* data, size_t bytes) {
    if (::VirtualLock(data, bytes))
        ::VirtualUnlock(data, bytes);
}
