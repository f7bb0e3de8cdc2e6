#include "toolkit/MemoryDC.h"

BOOL MemoryDC::Begin(HDC targetDC, int surfaceWidth, int surfaceHeight) {
    if (target != nullptr)
        return FALSE;
    memory = ::CreateCompatibleDC(targetDC);
    bitmap = ::CreateCompatibleBitmap(targetDC, surfaceWidth, surfaceHeight);
    if (memory == nullptr || bitmap == nullptr) {
        // A paint without a surface would draw nothing and still flush garbage.
        End();
        return FALSE;
    }
    originalBitmap = ::SelectObject(memory, bitmap);
    // Text drawn off screen comes out in the target's font, borrowed.
    originalFont = ::SelectObject(memory, ::GetCurrentObject(targetDC, OBJ_FONT));
    target = targetDC;
    width = surfaceWidth;
    height = surfaceHeight;
    return TRUE;
}

BOOL MemoryDC::Flush() const {
    return ::BitBlt(target, 0, 0, width, height, memory, 0, 0, SRCCOPY);
}

BOOL MemoryDC::End() {
    target = nullptr;
    if (memory != nullptr) {
        if (originalFont != nullptr)
            ::SelectObject(memory, originalFont);
        if (originalBitmap != nullptr)
            ::SelectObject(memory, originalBitmap);
        ::DeleteDC(memory);
        memory = nullptr;
    }
    originalBitmap = originalFont = nullptr;
    if (bitmap != nullptr) {
        ::DeleteObject(bitmap);
        bitmap = nullptr;
    }
    width = 0;
    height = 0;
    return TRUE;
}
