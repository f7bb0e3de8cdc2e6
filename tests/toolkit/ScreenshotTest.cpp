#include <gtest/gtest.h>

#include <cstring>

#include "ToolkitTestIds.h"
#include "ToolkitTestSupport.h"
#include "support/Screenshot.h"
#include "support/TestFiles.h"
#include "toolkit/KHyperlink.h"
#include "toolkit/KSplitButton.h"
#include "toolkit/Menu.h"

using namespace toolkit_test;
using testing_support::TempDir;

namespace {

uint32_t Read32(const std::vector<uint8_t>& data, size_t at) {
    uint32_t v;
    std::memcpy(&v, &data[at], 4);
    return v;
}

// Where a person who wants to look at the pictures asks for copies (a Windows path).
std::wstring CopyFolder() {
    wchar_t folder[MAX_PATH] = L"";
    DWORD n = ::GetEnvironmentVariableW(L"BRINDLECOT_SCREENSHOT_DIR", folder, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(folder) : std::wstring();
}

} // namespace

// The owner-drawn controls as the screen shows them, saved as pictures.
TEST(Screenshot, ActionRowInItsStates) {
    RecordingDialog dialog;
    ASSERT_TRUE(dialog.CreateModeless(IDD_TK_ACTION, nullptr));
    dialog.SetWindowTextW(L"data.bin [42 %]");
    Menu menu;
    menu.Create(TRUE);
    menu.InsertString(0, TRUE, L"&Split", 1000);
    KSplitButton button;
    ASSERT_TRUE(button.Attach(dialog.GetDlgItem(IDOK)));
    button.SetDropDownMenu(menu.Handle());
    button.SetLabel(L"&Split");
    KHyperlink link(RGB(127, 127, 127), RGB(0, 0, 255));
    ASSERT_TRUE(link.Attach(dialog.GetDlgItem(IDC_TK_LINK)));
    link.SetWindowTextW(L"https://brindlecot.example/");
    dialog.ShowWindow(SW_SHOWNORMAL);
    PumpMessages();

    TempDir dir(L"shot");
    const std::wstring copies = CopyFolder();
    auto save = [&](const wchar_t* name) {
        const std::wstring path = dir / name;
        ASSERT_TRUE(testing_support::SaveWindowScreenshot(dialog.Handle(), path));
        if (!copies.empty())
            ::CopyFileW(path.c_str(), (copies + L"\\" + name).c_str(), FALSE);
    };
    save(L"split-mode1.bmp");
    button.SetMode(2);
    save(L"split-mode2.bmp");

    std::vector<uint8_t> picture;
    ASSERT_TRUE(testing_support::ReadWholeFile(dir / L"split-mode2.bmp", picture));
    RECT rect{};
    dialog.GetWindowRect(&rect);
    ASSERT_GT(picture.size(), 54u);
    EXPECT_EQ(picture[0], 'B');
    EXPECT_EQ(picture[1], 'M');
    EXPECT_EQ(Read32(picture, 18), static_cast<uint32_t>(rect.right - rect.left));
    EXPECT_EQ(Read32(picture, 22), static_cast<uint32_t>(rect.bottom - rect.top));
    EXPECT_EQ(picture.size(), 54 + Read32(picture, 34));

    // A hidden window has nothing on the screen to copy.
    dialog.ShowWindow(SW_HIDE);
    EXPECT_FALSE(testing_support::SaveWindowScreenshot(dialog.Handle(), dir / L"hidden.bmp"));
    button.Detach();
    link.Detach();
    dialog.Destroy();
    PumpMessages();
}
