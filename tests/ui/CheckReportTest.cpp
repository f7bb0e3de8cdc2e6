#include "MainWindowFixture.h"

#include "ops/CheckOperation.h"
#include "ops/Commands.h"
#include "support/Par2TestSets.h"
#include "support/TestFiles.h"

#include <commctrl.h>

using namespace ui_tests;
using namespace testing_support;

namespace {

std::wstring Cell(HWND list, int row, int column) {
    wchar_t text[256] = L"";
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 256;
    ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                   reinterpret_cast<LPARAM>(&item));
    return text;
}

std::wstring ClipboardText(HWND owner) {
    std::wstring text;
    if (!::OpenClipboard(owner))
        return text;
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
            text = chars;
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

// Ctrl+C on the focused list, as the keyboard gives it.
void PressCtrlC(HWND list) {
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    ::SendMessageW(list, WM_KEYDOWN, 'C', 1);
    keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);
}

using CheckReportTest = EngineWindowTest;

// A set of twelve parts, part 2 damaged and part 3 lost, checked in the window: the report shows
// each part without scrolling, under the progress display and above the button, at the window's
// dpi; Ctrl+C copies it; Repair rebuilds both and the report shows them good.
TEST_F(CheckReportTest, ShowsEachPartCopiesAndRepairs) {
    TempDir dir(L"report");
    const std::wstring whole = dir / L"holiday.avi";
    std::vector<SetFile> files;
    ASSERT_TRUE(MakeTwelvePartsToRepair(whole, files));

    CheckOperation& check = Launch<CheckOperation>(RunMode::Check, whole + L".001");
    gMainWindow.ShowWindow(SW_SHOWNORMAL);
    ASSERT_TRUE(PumpDialog(
        Window(), [&] { return check.State() == OperationState::Done; }, 60000));
    Pump(100);
    const HWND list = Item(IDC_MAIN_REPORT);
    ASSERT_TRUE(list && ::IsWindowVisible(list));
    EXPECT_EQ(Status(), L"Part 2 is damaged and part 3 missing; the recovery data can rebuild both "
                        L"(3 of 4 blocks needed)");
    EXPECT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 12);
    EXPECT_EQ(Cell(list, 1, 0), L"holiday.avi.002");
    EXPECT_EQ(Cell(list, 1, 2), L"damaged (slices 2)");
    EXPECT_EQ(Cell(list, 2, 1), L"");
    EXPECT_EQ(Cell(list, 2, 2), L"missing");
    EXPECT_EQ(Cell(list, 11, 2), L"good");
    // Ten rows at least without scrolling, and nothing overlaps.
    EXPECT_GE(::SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0), 10);
    const RECT report = ChildRect(list);
    EXPECT_GE(report.top, ChildRect(Item(IDC_MAIN_PROGRESS)).bottom);
    EXPECT_LE(report.bottom, ChildRect(Item(IDOK)).top);
    // Grown within the screen's work area.
    RECT work{}, window{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ::GetWindowRect(Window(), &window);
    EXPECT_GE(window.top, work.top);
    EXPECT_LE(window.bottom, work.bottom);
    EXPECT_EQ(Label(), L"&Repair");

    ::SetFocus(list);
    PressCtrlC(list);
    const std::wstring copied = ClipboardText(Window());
    EXPECT_EQ(copied.substr(0, Status().size() + 2), Status() + L"\r\n");
    EXPECT_NE(copied.find(L"\r\nholiday.avi.003\t\tmissing\r\n"), std::wstring::npos);

    ::SendMessageW(Window(), WM_COMMAND, kCommandRepair, 0);
    ASSERT_TRUE(PumpDialog(
        Window(), [&] { return check.State() == OperationState::Done; }, 60000));
    Pump(100);
    EXPECT_EQ(Status(), L"All 12 parts are good (PAR2)");
    EXPECT_EQ(Cell(list, 1, 2), L"good");
    EXPECT_EQ(Cell(list, 2, 2), L"good");
    EXPECT_TRUE(Holds(dir / files[2].name, files[2].data));
    EXPECT_EQ(Label(), L"&Find");
}

} // namespace
