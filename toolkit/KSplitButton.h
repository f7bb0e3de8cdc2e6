#pragma once

#include "toolkit/Dpi.h"
#include "toolkit/KWindow.h"

// An owner-drawn push button in two parts: the label runs the button's command, the arrow
// part at the right (the last ArrowWidth pixels at 96 dpi, scaled) opens a popup menu below the
// button.
class KSplitButton : public KWindow {
public:
    // Sizes at 96 dpi: the arrow part, and the triangle drawn in it.
    static constexpr int ArrowWidth = 18;
    static constexpr int TriangleWidth = 8;
    // Posted to the button itself by a click on the arrow; tracks the menu.
    static constexpr UINT TrackMenuMessage = WM_USER;

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    BOOL OnReflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // Binds with subclassing and makes the button owner-drawn; its dpi is the window's.
    BOOL Attach(HWND window);
    // The dpi the button is drawn and hit-tested at; its owner tells it of a change.
    void SetDpi(UINT dpi);
    UINT GetDpi() const { return dpi_; }
    // The width of the arrow part at the button's dpi.
    int ArrowPartWidth() const;
    // Borrowed: the menu's owner destroys it.
    void SetDropDownMenu(HMENU dropDown) { menu_ = dropDown; }
    HMENU DropDownMenu() const { return menu_; }
    // 1 normal; 2 label inactive (drawn grey, its clicks swallowed), the arrow still works.
    void SetMode(int mode);
    int Mode() const { return mode_; }
    bool IsMenuOpen() const { return menuOpen_ != 0; }
    // The text may mark its mnemonic with '&'.
    BOOL SetLabel(const wchar_t* text);

private:
    void Invalidate();
    LRESULT TrackMenu();
    void Paint(const DRAWITEMSTRUCT& item);

    HMENU menu_ = nullptr;
    int mode_ = 1;
    int menuOpen_ = 0;
    UINT dpi_ = kBaseDpi;
};
