#include "toolkit/FillGradient.h"

#include "toolkit/DcGuards.h"

namespace {

// Integer division truncates toward zero, also for falling colours.
int Step(int from, int to, int line, int lines) {
    return from + line * (to - from) / lines;
}

} // namespace

BOOL FillGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom) {
    int lines = rect.bottom - rect.top;
    if (lines < 2)
        return FALSE;
    SelectObjectGuard pen(dc, ::GetStockObject(DC_PEN));
    for (int i = 0; i < lines; ++i) {
        int red = Step(GetRValue(top), GetRValue(bottom), i, lines);
        int green = Step(GetGValue(top), GetGValue(bottom), i, lines);
        int blue = Step(GetBValue(top), GetBValue(bottom), i, lines);
        ::SetDCPenColor(dc, RGB(red, green, blue));
        ::MoveToEx(dc, rect.left, rect.top + i, nullptr);
        ::LineTo(dc, rect.right, rect.top + i);
    }
    return TRUE;
}
