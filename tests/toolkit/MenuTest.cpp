#include <gtest/gtest.h>

#include "ToolkitTestSupport.h"
#include "toolkit/Menu.h"

using namespace toolkit_test;

namespace {

// Items whose ids and positions cross over, so that a mix-up shows.
void Fill(Menu& menu) {
    ASSERT_TRUE(menu.InsertString(0, true, L"&Two", 2));
    ASSERT_TRUE(menu.InsertType(1, true, MFT_SEPARATOR));
    ASSERT_TRUE(menu.InsertString(2, true, L"&Zero", 0));
    ASSERT_TRUE(menu.InsertString(3, true, L"&Thousand", 1000));
}

std::wstring ItemText(HMENU menu, UINT position) {
    wchar_t text[64] = L"";
    ::GetMenuStringW(menu, position, text, 64, MF_BYPOSITION);
    return text;
}

UINT_PTR gTimer = 0;
void CALLBACK EndMenuLater(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    gTimer = 0;
    ::EndMenu();
}

} // namespace

TEST(Menu, BuiltByPosition) {
    Menu menu;
    EXPECT_EQ(menu.Handle(), nullptr);
    ASSERT_TRUE(menu.Create(true));
    Fill(menu);
    EXPECT_EQ(menu.GetItemCount(), 4);
    EXPECT_EQ(::GetMenuItemID(menu.Handle(), 0), 2u);
    EXPECT_EQ(ItemText(menu.Handle(), 0), L"&Two");
    EXPECT_NE(::GetMenuState(menu.Handle(), 1, MF_BYPOSITION) & MF_SEPARATOR, 0u);
    EXPECT_EQ(::GetMenuItemID(menu.Handle(), 3), 1000u);

    Menu sub;
    ASSERT_TRUE(sub.Create(true));
    ASSERT_TRUE(sub.InsertString(0, true, L"Inner", 7));
    ASSERT_TRUE(menu.InsertSubmenu(4, true, L"More", sub.Handle()));
    EXPECT_EQ(::GetSubMenu(menu.Handle(), 4), sub.Handle());
    // The parent destroys the submenu with itself; the second owner must let go.
    menu.Destroy();
    EXPECT_FALSE(::IsMenu(sub.Handle()));
    EXPECT_FALSE(sub.Destroy());
}

TEST(Menu, DeleteAndEnableAddressByIdUnlessByPosition) {
    Menu menu;
    ASSERT_TRUE(menu.Create(true));
    Fill(menu);
    // Id 2 is at position 0; position 2 holds id 0.
    ASSERT_TRUE(menu.DeleteItem(2, false));
    EXPECT_EQ(menu.GetItemCount(), 3);
    EXPECT_EQ(ItemText(menu.Handle(), 1), L"&Zero");
    ASSERT_TRUE(menu.DeleteItem(0, true));
    EXPECT_EQ(ItemText(menu.Handle(), 0), L"&Zero");

    menu.EnableItem(1000, false, MF_GRAYED);
    EXPECT_NE(::GetMenuState(menu.Handle(), 1000, MF_BYCOMMAND) & MF_GRAYED, 0u);
    EXPECT_EQ(::GetMenuState(menu.Handle(), 0, MF_BYCOMMAND) & MF_GRAYED, 0u);
    menu.EnableItem(0, true, MF_GRAYED);
    EXPECT_NE(::GetMenuState(menu.Handle(), 0, MF_BYCOMMAND) & MF_GRAYED, 0u);
    menu.EnableItem(1000, false, MF_ENABLED);
    EXPECT_EQ(::GetMenuState(menu.Handle(), 1000, MF_BYCOMMAND) & MF_GRAYED, 0u);

    menu.CheckItem(1000, MF_BYCOMMAND | MF_CHECKED);
    EXPECT_NE(::GetMenuState(menu.Handle(), 1000, MF_BYCOMMAND) & MF_CHECKED, 0u);
}

TEST(Menu, DefaultItem) {
    Menu menu;
    ASSERT_TRUE(menu.Create(true));
    Fill(menu);
    EXPECT_EQ(menu.GetDefaultItem(false, 0), static_cast<UINT>(-1));
    ASSERT_TRUE(menu.SetDefaultItem(1000, false));
    EXPECT_EQ(menu.GetDefaultItem(false, 0), 1000u);
    EXPECT_EQ(menu.GetDefaultItem(true, 0), 3u);
    ASSERT_TRUE(menu.SetDefaultItem(0, true));
    EXPECT_EQ(menu.GetDefaultItem(false, 0), 2u);
    // A greyed default counts as none unless disabled items are asked for; its low 16 bits
    // are then 0xFFFF, which no command uses.
    menu.EnableItem(2, false, MF_GRAYED);
    EXPECT_EQ(menu.GetDefaultItem(false, 0), static_cast<UINT>(-1));
    EXPECT_EQ(LOWORD(menu.GetDefaultItem(false, 0)), 0xFFFF);
    EXPECT_EQ(menu.GetDefaultItem(false, GMDI_USEDISABLED), 2u);
}

TEST(Menu, DestroyDropsTheHandleEvenWhenItFails) {
    Menu menu;
    ASSERT_TRUE(menu.Create(false));
    HMENU handle = menu.Handle();
    ASSERT_TRUE(::DestroyMenu(handle));
    EXPECT_FALSE(menu.Destroy());
    EXPECT_EQ(menu.Handle(), nullptr);
    EXPECT_FALSE(menu.Destroy());
}

TEST(Menu, TrackPopupReturnsTheChosenCommandOrZero) {
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 100, 100, 100, 50,
                                   nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    ::SetForegroundWindow(owner);
    Menu menu;
    ASSERT_TRUE(menu.Create(true));
    Fill(menu);

    // Keys queued for the owner before tracking drive the menu; the separator is skipped.
    ::PostMessageW(owner, WM_KEYDOWN, VK_DOWN, 1);
    ::PostMessageW(owner, WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_EQ(menu.TrackPopup(TPM_RETURNCMD, 100, 150, owner), 2);

    ::PostMessageW(owner, WM_KEYDOWN, VK_DOWN, 1);
    ::PostMessageW(owner, WM_KEYDOWN, VK_DOWN, 1);
    ::PostMessageW(owner, WM_KEYDOWN, VK_DOWN, 1);
    ::PostMessageW(owner, WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_EQ(menu.TrackPopup(TPM_RETURNCMD, 100, 150, owner), 1000);

    gTimer = ::SetTimer(nullptr, 0, 30, &EndMenuLater);
    EXPECT_EQ(menu.TrackPopup(TPM_RETURNCMD, 100, 150, owner), 0);
    EXPECT_EQ(gTimer, 0u);
    PumpMessages();
    ::DestroyWindow(owner);
}
