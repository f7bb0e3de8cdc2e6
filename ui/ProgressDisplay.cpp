#include "ui/ProgressDisplay.h"

#include "toolkit/DcGuards.h"
#include "toolkit/FillGradient.h"
#include "toolkit/MemoryDC.h"

namespace {

constexpr COLORREF kTrackTop = RGB(250, 250, 250);
constexpr COLORREF kTrackBottom = RGB(150, 150, 150);

} // namespace

ProgressColors HighlightColors() {
    const COLORREF highlight = ::GetSysColor(COLOR_HIGHLIGHT);
    const int red = GetRValue(highlight), green = GetGValue(highlight), blue = GetBValue(highlight);
    ProgressColors colors;
    colors.light = RGB((2 * red + 255) / 3, (2 * green + 255) / 3, (2 * blue + 255) / 3);
    colors.dark = RGB(2 * red / 3, 2 * green / 3, 2 * blue / 3);
    return colors;
}

bool PaintProgress(const DRAWITEMSTRUCT& item, float percent, const ProgressColors& colors,
                   HFONT font, WideString& text) {
    const RECT& r = item.rcItem;
    const int width = r.right - r.left, height = r.bottom - r.top;
    MemoryDC surface;
    if (!surface.Begin(item.hDC, width, height))
        return false;

    FillGradient(surface.Dc(), r, kTrackTop, kTrackBottom);
    RECT done = r;
    done.right = r.left + static_cast<LONG>(static_cast<double>(width) * percent / 100.0);
    FillGradient(surface.Dc(), done, colors.light, colors.dark);

    text.Format(L"%.02f %%", static_cast<double>(percent));
    {
        SelectObjectGuard fontGuard(surface.Dc(), font);
        TextColorGuard color(surface.Dc(), ::GetSysColor(COLOR_HIGHLIGHTTEXT));
        BkModeGuard mode(surface.Dc(), TRANSPARENT);
        RECT textRect = r;
        ::DrawTextW(surface.Dc(), text.Text(), -1, &textRect,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX);
    }
    surface.Flush();
    surface.End();
    return true;
}
