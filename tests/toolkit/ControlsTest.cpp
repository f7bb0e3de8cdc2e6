#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "ToolkitTestSupport.h"
#include "toolkit/KComboBox.h"
#include "toolkit/KEdit.h"
#include "toolkit/KStatusBar.h"

using namespace toolkit_test;

namespace {

// A top-level parent for controls made at run time.
class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(
            parent.Create(L"STATIC", 0, WS_POPUP | WS_VISIBLE, 50, 50, 400, 200, nullptr, nullptr));
    }
    void TearDown() override {
        parent.Destroy();
        PumpMessages();
    }
    KWindow parent;
};

} // namespace

TEST_F(ControlsTest, ComboBoxKeepsInsertionOrderDespiteSort) {
    KComboBox combo;
    ASSERT_TRUE(combo.Create(WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_SORT, 10, 10, 80, 120,
                             parent.Handle(), 1010));
    EXPECT_EQ(combo.GetDlgCtrlID(), 1010);
    for (const wchar_t* unit : {L"Byte", L"KB", L"MB", L"GB"})
        combo.InsertString(-1, unit);
    ASSERT_EQ(combo.GetCount(), 4);
    wchar_t text[16] = L"";
    ::SendMessageW(combo.Handle(), CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, L"Byte");
    ::SendMessageW(combo.Handle(), CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, L"GB");
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
    EXPECT_EQ(combo.SetCurSel(2), 2);
    EXPECT_EQ(combo.GetCurSel(), 2);
    EXPECT_EQ(combo.DeleteString(0), 3);
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(combo.GetComboBoxInfo(&info));
    EXPECT_NE(info.hwndList, nullptr);
}

TEST_F(ControlsTest, EditLimitAndCaret) {
    KEdit edit;
    ASSERT_TRUE(edit.Create(WS_CHILD | WS_VISIBLE | ES_NUMBER | ES_AUTOHSCROLL, 10, 40, 80, 20,
                            parent.Handle(), 1020));
    edit.SetWindowTextW(L"10240");
    edit.SetSel(5, -1);
    DWORD start = 0, end = 0;
    ::SendMessageW(edit.Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 5u);
    EXPECT_EQ(end, 5u);
    edit.SetSel(0, -1);
    ::SendMessageW(edit.Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(end, 5u);
    edit.LimitText(3);
    EXPECT_EQ(::SendMessageW(edit.Handle(), EM_GETLIMITTEXT, 0, 0), 3);
}

TEST_F(ControlsTest, StatusBarTextsAndBorders) {
    KStatusBar bar;
    ASSERT_TRUE(bar.Create(WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent.Handle(), 55));
    EXPECT_EQ(bar.GetDlgCtrlID(), 55);
    const wchar_t* path = L"C:\\d\u00e9j\u00e0\\\u043f\u0443\u0442\u044c 100%.bin";
    EXPECT_TRUE(bar.SetText(0, path));
    wchar_t back[64] = L"";
    bar.GetText(0, back);
    EXPECT_STREQ(back, path);
    EXPECT_EQ(LOWORD(bar.GetTextLength(0)), static_cast<WORD>(::lstrlenW(path)));

    // Each border that is asked for is stored; the others are left alone.
    int borders[3] = {-1, -1, -1};
    EXPECT_TRUE(bar.GetBorders(&borders[0], nullptr, &borders[2]));
    EXPECT_GE(borders[0], 0);
    EXPECT_EQ(borders[1], -1);
    EXPECT_GE(borders[2], 0);
}
