#pragma once

#include "toolkit/GdiObject.h"
#include "toolkit/KWindow.h"

// An owner-drawn static that behaves as a link: over its text the cursor is a hand and the
// text takes the hover colour and an underlined font; a click on the text is posted to the
// parent as WM_COMMAND (id, handle).
//
// The program's links are grey, blue under the cursor.
constexpr COLORREF kLinkColor = RGB(127, 127, 127);
constexpr COLORREF kLinkHoverColor = RGB(0, 0, 255);

class KHyperlink : public KWindow {
public:
    KHyperlink(COLORREF normal, COLORREF hover);
    ~KHyperlink() override;

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    BOOL OnReflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // Binds with subclassing, makes the static owner-drawn and builds the underlined font.
    BOOL Attach(HWND window);
    // Deletes the underlined font, then unbinds.
    BOOL Detach();

    // Empty until the first paint after Attach, a resize or a new text measures the text.
    const RECT& HitRect() const { return hitRect; }
    HFONT LinkFont() const { return linkFont.Get(); }
    bool IsHot() const { return hot; }
    bool IsTracking() const { return tracking; }

private:
    void Invalidate();
    bool CursorOverText() const;
    // The underlined copy of the control's font (null: the system font).
    void MakeLinkFont(HFONT font);
    void Paint(const DRAWITEMSTRUCT& item);

    RECT hitRect{};
    FontObject linkFont;
    // The font last given with WM_SETFONT (not ours): an owner-drawn static does not keep it.
    HFONT textFont = nullptr;
    COLORREF normalColor;
    COLORREF hoverColor;
    bool tracking = false;
    bool hot = false;
};
