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
    ::SelectObject(memory, bitmap);
    ::SelectObject(memory, ::GetCurrentObject(targetDC, OBJ_FONT));
    target = targetDC;
    width = surfaceWidth;
    height = surfaceHeight;
    return TRUE;
}

BOOL MemoryDC::Flush() {
    return ::BitBlt(target, 0, 0, width, height, memory, 0, 0, SRCCOPY);
}

BOOL MemoryDC::End() {
    target = nullptr;
    // Deleting the DC releases the bitmap and the borrowed font it holds selected.
    if (memory != nullptr) {
        ::DeleteDC(memory);
        memory = nullptr;
    }
    if (bitmap != nullptr) {
        ::DeleteObject(bitmap);
        bitmap = nullptr;
    }
    width = 0;
    height = 0;
    return TRUE;
}
