#include "support/Screenshot.h"

#include "support/MessageLoop.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "support/TestFiles.h"

namespace testing_support {

namespace {

void Put16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
    std::memcpy(&out[at], &v, 2);
}
void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    std::memcpy(&out[at], &v, 4);
}

} // namespace

bool SaveWindowScreenshot(HWND window, const std::wstring& path, HWND popup) {
    if (!::IsWindowVisible(window))
        return false;
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_ERASE);
    // Wine draws into a surface of its own and hands it to the X server a little later, at
    // one of the next message checks.
    QuitSeen quits;
    PumpFor(100, nullptr, &quits);
    if (quits.Seen())
        ::PostQuitMessage(quits.exitCode); // for the caller's own loop
    RECT rect{};
    ::GetWindowRect(window, &rect);
    RECT extra{};
    if (popup != nullptr && ::GetWindowRect(popup, &extra))
        ::UnionRect(&rect, &rect, &extra);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;

    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::SelectObject(memory, previous);

    // Rows bottom-up, each padded to 4 bytes, as the file format has them.
    const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t imageSize = stride * static_cast<uint32_t>(height);
    std::vector<uint8_t> file(54 + imageSize);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const int rows =
        ::GetDIBits(memory, bitmap, 0, height, file.data() + 54, &info, DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (rows != height)
        return false;

    file[0] = 'B';
    file[1] = 'M';
    Put32(file, 2, static_cast<uint32_t>(file.size()));
    Put32(file, 10, 54);
    Put32(file, 14, 40);
    Put32(file, 18, static_cast<uint32_t>(width));
    Put32(file, 22, static_cast<uint32_t>(height));
    Put16(file, 26, 1);
    Put16(file, 28, 24);
    Put32(file, 34, imageSize);
    return WriteWholeFile(path, file);
}

} // namespace testing_support
