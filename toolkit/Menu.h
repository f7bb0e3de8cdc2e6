#pragma once

#include <windows.h>

// Owner of one menu handle, with the few thin menu calls the program makes. byPosition: true
// when the item argument is a zero-based position, false when it is a command id.
class Menu {
public:
    Menu() = default;
    ~Menu();
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;

    HMENU Handle() const { return menu; }

    // Expects an empty object: a menu already held is not destroyed first.
    BOOL Create(bool popup);
    // The handle is dropped even when DestroyMenu fails.
    BOOL Destroy();
    BOOL SetWindowMenu(HWND window);

    BOOL InsertItem(UINT item, bool byPosition, const MENUITEMINFOW* info);
    BOOL InsertString(UINT item, bool byPosition, const wchar_t* text, UINT id);
    // Separators (MFT_SEPARATOR).
    BOOL InsertType(UINT item, bool byPosition, UINT type);
    BOOL InsertSubmenu(UINT item, bool byPosition, const wchar_t* text, HMENU submenu);
    BOOL DeleteItem(UINT item, bool byPosition);

    BOOL SetDefaultItem(UINT item, bool byPosition);
    // The id (or position) of the default item; (UINT)-1 when there is none.
    UINT GetDefaultItem(bool byPosition, UINT flags) const;
    DWORD CheckItem(UINT id, UINT flags);
    // flags: MF_ENABLED or MF_GRAYED.
    BOOL EnableItem(UINT item, bool byPosition, UINT flags);
    int GetItemCount() const;

    BOOL TrackPopup(UINT flags, int x, int y, HWND owner);

private:
    HMENU menu = nullptr;
};
