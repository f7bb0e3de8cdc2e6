#include "support/DibSurface.h"

namespace testing_support {

DibSurface::DibSurface(int wide, int high, COLORREF fill) : width(wide), height(high) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    dc.Reset(::CreateCompatibleDC(nullptr));
    bitmap.Reset(::CreateDIBSection(dc.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    ::SelectObject(dc.Get(), bitmap.Get());
    RECT all = {0, 0, width, height};
    BrushObject brush(::CreateSolidBrush(fill));
    ::FillRect(dc.Get(), &all, brush.Get());
}

DibSurface::~DibSurface() = default;

int DibSurface::Count(const RECT& area, COLORREF color) const {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (Pixel(x, y) == color)
                ++count;
    return count;
}

} // namespace testing_support
