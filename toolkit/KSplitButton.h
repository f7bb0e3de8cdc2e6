#pragma once

#include "toolkit/Dpi.h"
#include "toolkit/KWindow.h"

#include <cstdint>

// An owner-drawn push button in two parts: the label runs the button's command, the arrow
// part at the right (the last kArrowWidth pixels at 96 dpi, scaled) opens a popup menu below the
// button.
// Normal, or with the label part inert: drawn grey and its clicks swallowed, while the arrow
// part still opens the menu.
enum class SplitButtonMode : int32_t { Normal = 1, LabelInert = 2 };

class KSplitButton : public KWindow {
public:
    // Sizes at 96 dpi: the arrow part, and the triangle drawn in it.
    static constexpr int kArrowWidth = 18;
    static constexpr int kTriangleWidth = 8;
    // Posted to the button itself by a click on the arrow; tracks the menu.
    static constexpr UINT kTrackMenuMessage = WM_USER;

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    BOOL OnReflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // Binds with subclassing and makes the button owner-drawn; its dpi is the window's.
    BOOL Attach(HWND window);
    // The dpi the button is drawn and hit-tested at; its owner tells it of a change.
    void SetDpi(UINT newDpi);
    UINT GetDpi() const { return dpi; }
    // The width of the arrow part at the button's dpi.
    int ArrowPartWidth() const;
    // Borrowed: the menu's owner destroys it.
    void SetDropDownMenu(HMENU dropDown) { menu = dropDown; }
    HMENU DropDownMenu() const { return menu; }
    // 1 normal; 2 label inactive (drawn grey, its clicks swallowed), the arrow still works.
    void SetMode(SplitButtonMode newMode);
    SplitButtonMode Mode() const { return mode; }
    bool IsMenuOpen() const { return menuOpen; }
    // The text may mark its mnemonic with '&'.
    BOOL SetLabel(const wchar_t* text);

private:
    void Invalidate();
    LRESULT TrackMenu();
    void Paint(const DRAWITEMSTRUCT& item);

    HMENU menu = nullptr;
    SplitButtonMode mode = SplitButtonMode::Normal;
    bool menuOpen = false;
    UINT dpi = kBaseDpi;
};
