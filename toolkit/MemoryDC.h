#pragma once

#include <windows.h>

// An off-screen surface for one paint: draw into Dc() in the target's coordinates from (0, 0),
// then Flush copies it to the target in one BitBlt, so the screen never shows a half drawn
// picture. It owns its DC and bitmap; End (or the destructor) puts back what the DC held at
// first before deleting both.
class MemoryDC {
public:
    MemoryDC() = default;
    ~MemoryDC() { End(); }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;

    // FALSE when already begun, or when the surface cannot be made.
    BOOL Begin(HDC targetDC, int surfaceWidth, int surfaceHeight);
    BOOL Flush() const;
    BOOL End();

    HDC Dc() const { return memory; }
    HDC Target() const { return target; }
    HBITMAP Bitmap() const { return bitmap; }
    int Width() const { return width; }
    int Height() const { return height; }

private:
    HDC target = nullptr;
    HDC memory = nullptr;
    HBITMAP bitmap = nullptr;
    // What the new DC held before ours were selected, put back before it goes.
    HGDIOBJ originalBitmap = nullptr;
    HGDIOBJ originalFont = nullptr;
    int width = 0;
    int height = 0;
};
