#include "toolkit/KHyperlink.h"

#include "toolkit/DcGuards.h"

namespace {

constexpr int kLinkTextMax = 512;

} // namespace

KHyperlink::KHyperlink(COLORREF normal, COLORREF hover) : normalColor(normal), hoverColor(hover) {}

// The font goes with linkFont, before the base unbinds the window.
KHyperlink::~KHyperlink() = default;

BOOL KHyperlink::Attach(HWND window) {
    if (!KWindow::Attach(window, true))
        return FALSE;
    // SS_OWNERDRAW shares its bits with SS_CENTER: a link is never left-aligned.
    ModifyStyle(SS_OWNERDRAW, 0);
    MakeLinkFont(GetFont());
    return TRUE;
}

void KHyperlink::MakeLinkFont(HFONT font) {
    // A static without WM_SETFONT draws with the system font.
    HGDIOBJ base = font;
    if (base == nullptr)
        base = ::GetStockObject(SYSTEM_FONT);
    LOGFONTW logFont{};
    if (::GetObjectW(base, sizeof logFont, &logFont) != 0) {
        logFont.lfUnderline = 1;
        linkFont.Reset(::CreateFontIndirectW(&logFont));
    }
}

BOOL KHyperlink::Detach() {
    linkFont.Reset();
    textFont = nullptr;
    return KWindow::Detach();
}

void KHyperlink::Invalidate() {
    InvalidateRect(nullptr, FALSE);
}

bool KHyperlink::CursorOverText() const {
    POINT cursor{};
    ::GetCursorPos(&cursor);
    ScreenToClient(&cursor);
    return ::PtInRect(&hitRect, cursor) != 0;
}

LRESULT KHyperlink::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SETCURSOR: {
        if (!tracking) {
            TRACKMOUSEEVENT track{};
            track.cbSize = sizeof track;
            track.dwFlags = TME_LEAVE;
            track.hwndTrack = Handle();
            // A failed request is simply repeated at the next WM_SETCURSOR.
            tracking = ::TrackMouseEvent(&track) != FALSE;
        }
        const bool in = CursorOverText();
        if (in != hot) {
            ::SetCursor(::LoadCursorW(nullptr, in ? IDC_HAND : IDC_ARROW));
            Invalidate();
            hot = in;
        }
        return TRUE;
    }
    case WM_SIZE:
        ::SetRectEmpty(&hitRect);
        break;
    case WM_MOUSELEAVE:
        Invalidate();
        tracking = false;
        // The cursor is elsewhere now: coming back onto the text must set the hand again.
        hot = false;
        break;
    case WM_LBUTTONDOWN: {
        POINT point = {static_cast<LONG>(LOWORD(lParam)), static_cast<LONG>(HIWORD(lParam))};
        if (::PtInRect(&hitRect, point))
            ::PostMessageW(::GetParent(Handle()), WM_COMMAND, LOWORD(GetDlgCtrlID()),
                           reinterpret_cast<LPARAM>(Handle()));
        return TRUE;
    }
    case WM_NCHITTEST:
        // A static is transparent to the mouse unless it says otherwise.
        return HTCLIENT;
    case WM_SETTEXT:
        Invalidate();
        ::SetRectEmpty(&hitRect);
        break;
    case WM_SETFONT:
        // A new font (another dpi, say): kept here, as a static of the owner-drawn kind may
        // ignore it; the underlined copy follows, and the text is measured again.
        textFont = reinterpret_cast<HFONT>(wParam);
        MakeLinkFont(textFont);
        ::SetRectEmpty(&hitRect);
        if (LOWORD(lParam) != 0)
            Invalidate();
        break;
    case WM_GETFONT:
        if (textFont != nullptr)
            return reinterpret_cast<LRESULT>(textFont);
        break;
    default:
        break;
    }
    return KWindow::WindowProc(msg, wParam, lParam);
}

BOOL KHyperlink::OnReflect(UINT msg, WPARAM, LPARAM lParam, LRESULT* result) {
    if (msg != WM_DRAWITEM)
        return FALSE;
    Paint(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    *result = 1;
    return TRUE;
}

void KHyperlink::Paint(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const RECT& whole = item.rcItem;
    wchar_t text[kLinkTextMax] = L"";
    const int length = GetWindowTextW(text, kLinkTextMax);
    const DWORD style = GetStyle();

    // The font the control was last given; without one the DC's, which is the static's own.
    SelectObjectGuard ownFont(dc, textFont);
    if (::IsRectEmpty(&hitRect)) {
        SIZE extent{};
        ::GetTextExtentPoint32W(dc, text, length, &extent);
        const int width = whole.right - whole.left;
        const int height = whole.bottom - whole.top;
        if ((style & SS_RIGHT) != 0) {
            hitRect.left = whole.right - extent.cx;
            hitRect.right = whole.right;
        } else {
            hitRect.left = (width - extent.cx) / 2;
            hitRect.right = hitRect.left + extent.cx;
        }
        hitRect.top = (height - extent.cy) / 2;
        hitRect.bottom = hitRect.top + extent.cy;
    }

    // The colour follows the cursor at paint time; WM_SETCURSOR only asks for the paint.
    const bool over = CursorOverText();
    TextColorGuard textColor(dc, over ? hoverColor : normalColor);
    SelectObjectGuard font(dc, over ? linkFont.Get() : nullptr);
    BkModeGuard bkMode(dc, TRANSPARENT);

    ::FillRect(dc, &whole, ::GetSysColorBrush(COLOR_BTNFACE));
    RECT textRect = whole;
    ::DrawTextW(dc, text, length, &textRect,
                (style & (SS_CENTER | SS_RIGHT)) | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP |
                    DT_NOPREFIX);
}
