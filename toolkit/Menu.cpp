#include "toolkit/Menu.h"

Menu::~Menu() {
    if (menu != nullptr)
        Destroy();
}

BOOL Menu::Create(bool popup) {
    menu = popup ? ::CreatePopupMenu() : ::CreateMenu();
    return menu != nullptr;
}

BOOL Menu::Destroy() {
    BOOL destroyed = ::DestroyMenu(menu);
    menu = nullptr;
    return destroyed;
}

BOOL Menu::SetWindowMenu(HWND window) {
    return ::SetMenu(window, menu);
}

BOOL Menu::InsertItem(UINT item, bool byPosition, const MENUITEMINFOW* info) {
    return ::InsertMenuItemW(menu, item, byPosition, info);
}

BOOL Menu::InsertString(UINT item, bool byPosition, const wchar_t* text, UINT id) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING | MIIM_ID;
    info.dwTypeData = const_cast<wchar_t*>(text);
    info.wID = id;
    return ::InsertMenuItemW(menu, item, byPosition, &info);
}

BOOL Menu::InsertType(UINT item, bool byPosition, UINT type) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_TYPE;
    info.fType = type;
    return ::InsertMenuItemW(menu, item, byPosition, &info);
}

BOOL Menu::InsertSubmenu(UINT item, bool byPosition, const wchar_t* text, HMENU submenu) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING | MIIM_SUBMENU;
    info.dwTypeData = const_cast<wchar_t*>(text);
    info.hSubMenu = submenu;
    return ::InsertMenuItemW(menu, item, byPosition, &info);
}

BOOL Menu::DeleteItem(UINT item, bool byPosition) {
    return ::DeleteMenu(menu, item, byPosition ? MF_BYPOSITION : MF_BYCOMMAND);
}

BOOL Menu::SetDefaultItem(UINT item, bool byPosition) {
    return ::SetMenuDefaultItem(menu, item, byPosition);
}

UINT Menu::GetDefaultItem(bool byPosition, UINT flags) const {
    return ::GetMenuDefaultItem(menu, byPosition, flags);
}

DWORD Menu::CheckItem(UINT id, UINT flags) {
    return ::CheckMenuItem(menu, id, flags);
}

BOOL Menu::EnableItem(UINT item, bool byPosition, UINT flags) {
    return ::EnableMenuItem(menu, item, flags | (byPosition ? MF_BYPOSITION : MF_BYCOMMAND));
}

int Menu::GetItemCount() const {
    return ::GetMenuItemCount(menu);
}

BOOL Menu::TrackPopup(UINT flags, int x, int y, HWND owner) {
    return ::TrackPopupMenu(menu, flags, x, y, 0, owner, nullptr);
}
