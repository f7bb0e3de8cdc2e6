#pragma once

#include <windows.h>

#include "toolkit/DeviceContext.h"
#include "toolkit/GdiObject.h"

namespace testing_support {

// A 32-bit DIB selected into a memory DC: a surface whose pixels read back exactly.
class DibSurface {
public:
    DibSurface(int wide, int high, COLORREF fill);
    ~DibSurface();
    DibSurface(const DibSurface&) = delete;
    DibSurface& operator=(const DibSurface&) = delete;

    HDC Dc() const { return dc.Get(); }
    int Width() const { return width; }
    int Height() const { return height; }
    COLORREF Pixel(int x, int y) const { return ::GetPixel(dc.Get(), x, y); }
    // How many pixels of a rectangle, or of the whole surface, have exactly this colour.
    int Count(const RECT& area, COLORREF color) const;
    int Count(COLORREF color) const { return Count({0, 0, width, height}, color); }

private:
    // The bitmap goes after the DC that holds it selected.
    BitmapObject bitmap;
    OwnedDC dc;
    int width;
    int height;
};

} // namespace testing_support
