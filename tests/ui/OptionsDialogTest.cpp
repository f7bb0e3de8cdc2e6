#include "MainWindowFixture.h"

#include "app/ProgramInfo.h"
#include "res/version.h"
#include "ui/OptionsDialog.h"

using namespace ui_tests;

namespace {

struct Box {
    int id;
    const wchar_t* setting;
    const wchar_t* text;
};
// Top to bottom.
const Box kBoxes[] = {
    {IDC_OPT_SELECT_FILES, L"SelectFiles", L"Select files in Explorer after spliting."},
    {IDC_OPT_OPEN_FILE, L"OpenFile", L"Open file after joining."},
    {IDC_OPT_DELETE_FILES, L"DeleteFiles", L"Delete sources files after joining."},
    {IDC_OPT_FLASH_WINDOW, L"FlashWindow", L"Flash window after operation."},
    {IDC_OPT_CLOSE_WINDOW, L"CloseWindow", L"Close window after operation."},
    {IDC_OPT_WRITE_CHECKSUMS, L"WriteChecksums", L"Write checksums (.sha256) after splitting"},
    {IDC_OPT_WRITE_JOIN_SCRIPT, L"WriteJoinScript", L"Write a join script for receivers"},
};
constexpr int kBoxCount = sizeof kBoxes / sizeof kBoxes[0];

RECT ClientRectOf(HWND dialog, int id) {
    RECT rect{};
    HWND control = ::GetDlgItem(dialog, id);
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool Checked(HWND dialog, int id) {
    return ::SendMessageW(::GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Click(HWND dialog, int id) {
    ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

class OptionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearSettingsKey();
        ASSERT_TRUE(gSettings.Open());
    }
    void TearDown() override { gSettings.Close(); }
};

} // namespace

TEST_F(OptionsDialogTest, OpensWithTheStoredValuesAndTheTexts) {
    WriteDword(L"SelectFiles", 7);
    WriteDword(L"OpenFile", 0);
    // DeleteFiles is missing.
    WriteDword(L"FlashWindow", 1);
    WriteDword(L"CloseWindow", 0xFFFFFFFF);
    // WriteChecksums is missing: on.
    bool checked[kBoxCount] = {};
    std::wstring texts[kBoxCount], caption, close, group;
    RECT boxes[kBoxCount] = {}, groupRect{}, closeRect{}, client{};
    LONG groupWeight = 0;
    HWND focus = nullptr;
    DialogWatcher watcher(kProgramCaption, nullptr, [&](HWND dialog) {
        for (int i = 0; i < kBoxCount; ++i) {
            checked[i] = Checked(dialog, kBoxes[i].id);
            texts[i] = TextOf(::GetDlgItem(dialog, kBoxes[i].id));
            boxes[i] = ClientRectOf(dialog, kBoxes[i].id);
        }
        groupRect = ClientRectOf(dialog, IDC_OPT_GROUP);
        closeRect = ClientRectOf(dialog, IDOK);
        ::GetClientRect(dialog, &client);
        caption = TextOf(dialog);
        close = TextOf(::GetDlgItem(dialog, IDOK));
        group = TextOf(::GetDlgItem(dialog, IDC_OPT_GROUP));
        LOGFONTW font{};
        ::GetObjectW(reinterpret_cast<HFONT>(
                         ::SendMessageW(::GetDlgItem(dialog, IDC_OPT_GROUP), WM_GETFONT, 0, 0)),
                     sizeof font, &font);
        groupWeight = font.lfWeight;
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        ::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &gui);
        focus = gui.hwndFocus == ::GetDlgItem(dialog, IDOK) ? gui.hwndFocus : nullptr;
        Click(dialog, IDOK);
    });
    EXPECT_EQ(OptionsDialog::Run(nullptr), IDOK);
    EXPECT_TRUE(watcher.Found());
    const bool expected[kBoxCount] = {true, false, false, true, true, true, false};
    for (int i = 0; i < kBoxCount; ++i) {
        EXPECT_EQ(checked[i], expected[i]) << i;
        EXPECT_EQ(texts[i], kBoxes[i].text);
        // Tidy: one under the other, inside the group box, none overlapping the next.
        EXPECT_GT(boxes[i].left, groupRect.left) << i;
        EXPECT_LT(boxes[i].right, groupRect.right) << i;
        EXPECT_GT(boxes[i].top, groupRect.top) << i;
        EXPECT_LT(boxes[i].bottom, groupRect.bottom) << i;
        if (i > 0) {
            EXPECT_LE(boxes[i - 1].bottom, boxes[i].top) << i;
        }
    }
    // The button below the group, inside the dialog.
    EXPECT_GE(closeRect.top, groupRect.bottom);
    EXPECT_LE(closeRect.bottom, client.bottom);
    EXPECT_LE(groupRect.right, client.right);
    EXPECT_EQ(caption, L"Brindlecot v" BRINDLECOT_VERSION_TEXT);
    EXPECT_EQ(close, L"&Close");
    EXPECT_EQ(group, L"Options");
    EXPECT_EQ(groupWeight, FW_BOLD);
    EXPECT_NE(focus, nullptr);
    // Opening and closing writes nothing.
    EXPECT_EQ(ReadDword(L"SelectFiles"), 7u);
    EXPECT_EQ(ReadDword(L"CloseWindow"), 0xFFFFFFFFu);
    EXPECT_FALSE(ValueExists(L"DeleteFiles"));
}

TEST_F(OptionsDialogTest, EachClickIsStoredAtOnce) {
    WriteDword(L"FlashWindow", 9);
    uint32_t afterFirst[kBoxCount] = {}, afterSecond[kBoxCount] = {};
    DialogWatcher watcher(kProgramCaption, nullptr, [&](HWND dialog) {
        for (int i = 0; i < kBoxCount; ++i) {
            Click(dialog, kBoxes[i].id);
            afterFirst[i] = ReadDword(kBoxes[i].setting);
        }
        for (int i = 0; i < kBoxCount; ++i) {
            Click(dialog, kBoxes[i].id);
            afterSecond[i] = ReadDword(kBoxes[i].setting);
        }
        // Escape: nothing more is written, the settings already hold what the boxes show.
        ::SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(OptionsDialog::Run(nullptr), IDCANCEL);
    ASSERT_TRUE(watcher.Found());
    for (int i = 0; i < kBoxCount; ++i) {
        SCOPED_TRACE(i);
        // FlashWindow was set; WriteChecksums is on while missing.
        const bool wasOn = i == 3 || i == 5;
        EXPECT_EQ(afterFirst[i], wasOn ? 0u : 1u);
        EXPECT_EQ(afterSecond[i], wasOn ? 1u : 0u);
        EXPECT_EQ(ReadDword(kBoxes[i].setting), afterSecond[i]);
    }
}

// The recovery share comes from a list: the stored one is chosen, and a choice is stored at once.
// A share set by hand is shown as it is, and picked again it stays.
TEST_F(OptionsDialogTest, TheRecoveryShareIsChosenFromAList) {
    WriteDword(L"RecoveryPercent", 15);
    std::vector<std::wstring> items;
    LRESULT shown = -1;
    uint32_t chosen[3] = {};
    DialogWatcher watcher(kProgramCaption, nullptr, [&](HWND dialog) {
        HWND box = ::GetDlgItem(dialog, IDC_OPT_RECOVERY);
        for (LRESULT i = 0; i < ::SendMessageW(box, CB_GETCOUNT, 0, 0); ++i) {
            wchar_t text[32] = {};
            ::SendMessageW(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            items.push_back(text);
        }
        shown = ::SendMessageW(box, CB_GETCURSEL, 0, 0);
        const WPARAM picks[3] = {5, 2, 0};
        for (int i = 0; i < 3; ++i) {
            ::SendMessageW(box, CB_SETCURSEL, picks[i], 0);
            ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_OPT_RECOVERY, CBN_SELCHANGE),
                           reinterpret_cast<LPARAM>(box));
            chosen[i] = ReadDword(L"RecoveryPercent");
        }
        Click(dialog, IDOK);
    });
    OptionsDialog::Run(nullptr);
    ASSERT_TRUE(watcher.Found());
    EXPECT_EQ(items,
              (std::vector<std::wstring>{L"Off", L"5 %", L"10 %", L"20 %", L"30 %", L"15 %"}));
    EXPECT_EQ(shown, 5);
    EXPECT_EQ(chosen[0], 15u);
    EXPECT_EQ(chosen[1], 10u);
    EXPECT_EQ(chosen[2], 0u);
}
