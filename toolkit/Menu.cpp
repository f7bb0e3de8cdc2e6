#include "toolkit/Menu.h"

Menu::~Menu() {
    if (menu_ != nullptr)
        Destroy();
}

BOOL Menu::Create(BOOL popup) {
    menu_ = popup ? ::CreatePopupMenu() : ::CreateMenu();
    return menu_ != nullptr;
}

BOOL Menu::Destroy() {
    BOOL destroyed = ::DestroyMenu(menu_);
    menu_ = nullptr;
    return destroyed;
}

BOOL Menu::SetWindowMenu(HWND window) {
    return ::SetMenu(window, menu_);
}

BOOL Menu::InsertItem(UINT item, BOOL byPosition, const MENUITEMINFOW* info) {
    return ::InsertMenuItemW(menu_, item, byPosition, info);
}

BOOL Menu::InsertString(UINT item, BOOL byPosition, const wchar_t* text, UINT id) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING | MIIM_ID;
    info.dwTypeData = const_cast<wchar_t*>(text);
    info.wID = id;
    return ::InsertMenuItemW(menu_, item, byPosition, &info);
}

BOOL Menu::InsertType(UINT item, BOOL byPosition, UINT type) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_TYPE;
    info.fType = type;
    return ::InsertMenuItemW(menu_, item, byPosition, &info);
}

BOOL Menu::InsertSubmenu(UINT item, BOOL byPosition, const wchar_t* text, HMENU submenu) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING | MIIM_SUBMENU;
    info.dwTypeData = const_cast<wchar_t*>(text);
    info.hSubMenu = submenu;
    return ::InsertMenuItemW(menu_, item, byPosition, &info);
}

BOOL Menu::DeleteItem(UINT item, BOOL byPosition) {
    return ::DeleteMenu(menu_, item, byPosition ? MF_BYPOSITION : MF_BYCOMMAND);
}

BOOL Menu::SetDefaultItem(UINT item, BOOL byPosition) {
    return ::SetMenuDefaultItem(menu_, item, byPosition);
}

UINT Menu::GetDefaultItem(BOOL byPosition, UINT flags) const {
    return ::GetMenuDefaultItem(menu_, byPosition, flags);
}

DWORD Menu::CheckItem(UINT id, UINT flags) {
    return ::CheckMenuItem(menu_, id, flags);
}

BOOL Menu::EnableItem(UINT item, BOOL byPosition, UINT flags) {
    return ::EnableMenuItem(menu_, item, flags | (byPosition ? MF_BYPOSITION : MF_BYCOMMAND));
}

int Menu::GetItemCount() const {
    return ::GetMenuItemCount(menu_);
}

BOOL Menu::TrackPopup(UINT flags, int x, int y, HWND owner) {
    return ::TrackPopupMenu(menu_, flags, x, y, 0, owner, nullptr);
}
