#pragma once

#include <windows.h>

// An off-screen surface for one paint: draw into memory in the target's coordinates from
// (0, 0), then Flush copies it to the target in one BitBlt, so the screen never shows a half
// drawn picture.
struct MemoryDC {
    MemoryDC() = default;
    ~MemoryDC() { End(); }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;

    // FALSE when already begun, or when the surface cannot be made.
    BOOL Begin(HDC targetDC, int surfaceWidth, int surfaceHeight);
    BOOL Flush();
    BOOL End();

    HDC target = nullptr;
    HDC memory = nullptr;
    HBITMAP bitmap = nullptr;
    int width = 0;
    int height = 0;
};
