#include "toolkit/KSplitButton.h"

#include "toolkit/DcGuards.h"

namespace {

constexpr int kLabelTextMax = 512;

RECT Offset(RECT rect, int dx, int dy) {
    ::OffsetRect(&rect, dx, dy);
    return rect;
}

} // namespace

BOOL KSplitButton::Attach(HWND window) {
    if (!KWindow::Attach(window, true))
        return FALSE;
    ModifyStyle(BS_OWNERDRAW, 0);
    dpi = Dpi::ForWindow(Handle());
    return TRUE;
}

void KSplitButton::SetDpi(UINT newDpi) {
    if (newDpi == 0 || newDpi == dpi)
        return;
    dpi = newDpi;
    Invalidate();
}

int KSplitButton::ArrowPartWidth() const {
    return ScaleForDpi(kArrowWidth, dpi);
}

void KSplitButton::SetMode(SplitButtonMode newMode) {
    if (newMode == mode)
        return;
    mode = newMode;
    Invalidate();
}

BOOL KSplitButton::SetLabel(const wchar_t* text) {
    BOOL textSet = SetWindowTextW(text);
    BOOL invalidated = InvalidateRect(nullptr, FALSE);
    return textSet && invalidated;
}

void KSplitButton::Invalidate() {
    // Never erased: the paint covers every pixel, and an erase would flash.
    InvalidateRect(nullptr, FALSE);
}

LRESULT KSplitButton::TrackMenu() {
    // The menu runs its own message loop; the dialog may be closed meanwhile.
    HWND button = Handle();
    RECT screen{};
    GetWindowRect(&screen);
    Invalidate();
    // The menu's owner is the button, so the system tells only the button about the menu's
    // loop; the parent is told too, as it would be for a menu of its own.
    const HWND parent = ::GetParent(button);
    ::SendMessageW(parent, WM_ENTERMENULOOP, TRUE, 0);
    menuOpen = true;
    UINT command = static_cast<UINT>(
        ::TrackPopupMenu(menu, TPM_RETURNCMD, screen.left, screen.bottom, 0, button, nullptr));
    menuOpen = false;
    ::SendMessageW(parent, WM_EXITMENULOOP, TRUE, 0);
    // Posted, so the parent runs the command after the menu has gone; a dismissed menu
    // (0) runs nothing.
    if (command != 0 && ::IsWindow(button))
        ::PostMessageW(parent, WM_COMMAND, LOWORD(command), reinterpret_cast<LPARAM>(button));
    Invalidate();
    return 0;
}

LRESULT KSplitButton::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_LBUTTONDOWN: {
        RECT arrow{};
        GetClientRect(&arrow);
        arrow.left = arrow.right - ArrowPartWidth();
        POINT point = {static_cast<LONG>(LOWORD(lParam)), static_cast<LONG>(HIWORD(lParam))};
        if (::PtInRect(&arrow, point)) {
            // The button never sees this press, so it is not pushed and sends no click; the
            // menu opens once this message has returned.
            PostMessageW(kTrackMenuMessage, 0, 0);
            return 0;
        }
        break;
    }
    case kTrackMenuMessage:
        return TrackMenu();
    case WM_SETFOCUS:
        Invalidate();
        break;
    default:
        break;
    }
    return KWindow::WindowProc(msg, wParam, lParam);
}

BOOL KSplitButton::OnReflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (msg) {
    case WM_COMMAND:
        // In SplitButtonMode::LabelInert the label's click goes no further; the menu's commands
        // carry their own ids.
        if (mode == SplitButtonMode::LabelInert && wParam == static_cast<WPARAM>(GetDlgCtrlID())) {
            *result = 0;
            return TRUE;
        }
        return FALSE;
    case WM_DRAWITEM:
        Paint(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        *result = 1;
        return TRUE;
    default:
        return FALSE;
    }
}

void KSplitButton::Paint(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const RECT& whole = item.rcItem;
    wchar_t text[kLabelTextMax] = L"";
    GetWindowTextW(text, kLabelTextMax);

    const int arrowWidth = ArrowPartWidth();
    RECT label = whole;
    label.right = whole.right - arrowWidth;
    RECT arrow = {whole.right - arrowWidth, whole.top, whole.right, whole.bottom};

    ::FillRect(dc, &whole, ::GetSysColorBrush(COLOR_BTNFACE));
    BkModeGuard bkMode(dc, TRANSPARENT);
    TextColorGuard textColor(dc, ::GetSysColor(COLOR_BTNTEXT));

    const bool focused = (item.itemState & ODS_FOCUS) != 0;
    if (focused) {
        ::FrameRect(dc, &whole, ::GetSysColorBrush(COLOR_3DDKSHADOW));
        label.left += 1;
        label.top += 1;
        label.bottom -= 1;
        arrow.right -= 1;
        arrow.top += 1;
        arrow.bottom -= 1;
    }

    // While the menu is open the press belongs to the arrow alone.
    const bool pushed = (::SendMessageW(Handle(), BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
    const bool labelDown = pushed && !menuOpen;
    const bool arrowDown = pushed || menuOpen;
    ::DrawEdge(dc, &label, labelDown ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT | BF_ADJUST);
    ::DrawEdge(dc, &arrow, arrowDown ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT | BF_ADJUST);
    if (labelDown)
        ::OffsetRect(&label, 1, 1);
    if (arrowDown) {
        arrow.top += 1;
        arrow.bottom += 1;
    }
    if (focused) {
        label.left -= 1;
        label.top -= 1;
        label.bottom += 1;
        arrow.right += 1;
        arrow.top -= 1;
        arrow.bottom += 1;
    }

    constexpr UINT kTextFlags =
        DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP | DT_END_ELLIPSIS;
    if ((item.itemState & ODS_DISABLED) != 0 || mode == SplitButtonMode::LabelInert) {
        // Etched: a light copy one pixel down and right under the grey text.
        RECT etch = Offset(label, 1, 1);
        textColor.Set(::GetSysColor(COLOR_BTNHIGHLIGHT));
        ::DrawTextW(dc, text, -1, &etch, kTextFlags);
        textColor.Set(::GetSysColor(COLOR_GRAYTEXT));
    }
    ::DrawTextW(dc, text, -1, &label, kTextFlags);

    // Twice as wide as high, its tip in the middle; at 96 dpi 8 by 4 pixels.
    const int half = ScaleForDpi(kTriangleWidth, dpi) / 2;
    const int x = arrow.left + (arrow.right - arrow.left - 2 * half) / 2;
    const int y = arrow.top + (arrow.bottom - arrow.top - half) / 2 + 1;
    const POINT triangle[3] = {{x, y}, {x + 2 * half, y}, {x + half, y + half}};
    SelectObjectGuard brush(dc, ::GetStockObject(BLACK_BRUSH));
    SelectObjectGuard pen(dc, ::GetStockObject(NULL_PEN));
    ::Polygon(dc, triangle, 3);
}
