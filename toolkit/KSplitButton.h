#pragma once

#include "toolkit/KWindow.h"

// An owner-drawn push button in two parts: the label runs the button's command, the arrow
// part at the right (the last ArrowWidth pixels) opens a popup menu below the button.
class KSplitButton : public KWindow {
public:
    static constexpr int ArrowWidth = 18;
    // Posted to the button itself by a click on the arrow; tracks the menu.
    static constexpr UINT TrackMenuMessage = WM_USER;

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    BOOL OnReflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // Binds with subclassing and makes the button owner-drawn.
    BOOL Attach(HWND window);
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
};
