#pragma once

#include <windows.h>

#include <cstddef>

namespace testing_support {

// Cases of the suite SmallAddressSpace need a process that can't get about 2 GiB in one piece.
// A 32-bit process never can; a 64-bit one is started with its address space limited to 2 GiB
// by its own test entry (see tests/CMakeLists.txt). This tells whether the premise holds.
inline bool CannotReserve(size_t bytes) {
    void* block = ::VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_NOACCESS);
    if (!block)
        return true;
    ::VirtualFree(block, 0, MEM_RELEASE);
    return false;
}

constexpr size_t kAlmostTwoGiB = 0x7FFF0000u;

} // namespace testing_support
