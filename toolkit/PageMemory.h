#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Memory straight from the system in whole pages: page aligned, so fit for unbuffered transfers,
// and zeroed by the system as each page is first touched rather than cleared up front.
class PageMemory {
public:
    PageMemory() = default;
    explicit PageMemory(size_t size) { Allocate(size); }
    ~PageMemory() { Release(); }
    PageMemory(const PageMemory&) = delete;
    PageMemory& operator=(const PageMemory&) = delete;

    // Releases what was held; false with the system's error when there is no memory for size.
    bool Allocate(size_t size) {
        Release();
        data = static_cast<uint8_t*>(
            ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        return data != nullptr;
    }
    void Release() {
        if (data)
            ::VirtualFree(data, 0, MEM_RELEASE);
        data = nullptr;
    }
    uint8_t* Get() const { return data; }

private:
    uint8_t* data = nullptr;
};
