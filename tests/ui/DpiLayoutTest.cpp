#include "LayoutCheck.h"
#include "MainWindowFixture.h"

#include "app/ProgramInfo.h"
#include "ops/Commands.h"
#include "support/TestFiles.h"
#include "toolkit/Dpi.h"
#include "toolkit/KSplitButton.h"
#include "ui/MissingPartPrompt.h"
#include "ui/OptionsDialog.h"
#include "ui/SetupDialog.h"
#include "ui/SetupTestSupport.h"

#include <commctrl.h>

#include <cmath>
#include <cwchar>

using namespace ui_tests;

// The windows at the dpi this run was started with (ctest runs this suite at 96, 144 and 192
// dpi): nothing clipped, nothing overlapping, every text fitting its control, and the layout
// really scaled. A change of dpi while a window is up (another monitor) is sent as the system
// sends it.

namespace {

// The labels the operations give the action button ("&Configuration" is only ever a menu item).
const wchar_t* const kActionLabels[] = {L"&Split", L"&Pause", L"&Resume",
                                        L"&Open",  L"&Find",  L"E&xit"};
const wchar_t* const kStatusLines[] = {L"Waiting user action.", L"Processing holiday video.avi...",
                                       L"holiday video.avi splited !", L"Error occurred !"};
const wchar_t* const kSetupStatuses[] = {
    L"Brindlecot is not installed.", L"Brindlecot is installed.",
    L"installation is corrupted.\r\nClick Repair button to fix it.",
    L"uninstalled for this user.\r\nAdmin rights are needed to\r\nremove it for all users.",
    L"uninstall error #1234567890"};

UINT RunDpi() {
    return Dpi::ForSystem();
}

SIZE SizeOf(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

LONG FontHeight(HWND control) {
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font,
                 &font);
    return std::labs(font.lfHeight);
}

// WM_DPICHANGED as the system sends it when the window moves to a monitor of another dpi: the
// new dpi and the window's rectangle scaled about its top left corner.
void SendDpiChange(HWND window, UINT from, UINT to) {
    RECT r{};
    ::GetWindowRect(window, &r);
    RECT suggested = {
        r.left, r.top,
        r.left + ::MulDiv(r.right - r.left, static_cast<int>(to), static_cast<int>(from)),
        r.top + ::MulDiv(r.bottom - r.top, static_cast<int>(to), static_cast<int>(from))};
    ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
}

// Within a pixel or two of the 96-dpi length scaled.
void ExpectScaled(LONG actual, int at96, UINT dpi, const char* what) {
    EXPECT_NEAR(actual, ScaleForDpi(at96, dpi), 2) << what << " at " << dpi << " dpi";
}

// The engine runs for the queue's real operations; the other cases use a recording one.
class DpiLayout : public EngineWindowTest {
protected:
    void ExpectMainWindowFits(const char* state) {
        SCOPED_TRACE(state);
        EXPECT_EQ(Describe(LayoutFaults(Window())), "") << "at " << RunDpi() << " dpi";
        for (const wchar_t* label : kActionLabels)
            EXPECT_EQ(Describe(TextFaults(Item(IDOK), label)), "");
        for (const wchar_t* line : kStatusLines)
            EXPECT_EQ(Describe(TextFaults(Item(IDC_MAIN_STATUS), line)), "");
        EXPECT_EQ(Describe(TextFaults(Item(IDC_MAIN_PROGRESS), L"100.00 %")), "");
        EXPECT_EQ(Describe(TextFaults(Item(IDC_MAIN_LINK), kProductWebPage)), "");
    }
};

} // namespace

TEST(DpiRun, RunsAtTheDpiAskedFor) {
    // wine-run.sh sets the dpi of the run's prefix when asked to.
    wchar_t asked[16] = L"";
    if (::GetEnvironmentVariableW(L"BRINDLECOT_DPI", asked, 16) == 0)
        asked[0] = L'\0';
    const UINT expected = asked[0] != 0 ? static_cast<UINT>(std::wcstoul(asked, nullptr, 10)) : 96;
    EXPECT_EQ(RunDpi(), expected);
}

TEST_F(DpiLayout, MainWindowFitsInEveryState) {
    RecordingOperation& op = Open(RunMode::Split);
    gMainWindow.SetStatus(L"Click Split button to begin (%u parts will be created).", 25u);
    gMainWindow.SetStatusBar(L"C:\\users\\somebody\\holiday video.avi");
    ::SendMessageW(Item(IDC_MAIN_SIZE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"1024"));
    Pump();
    ExpectMainWindowFits("split, waiting");

    // Under way: the panel goes, the status line takes its place.
    gMainWindow.ShowPartSizePanel(false);
    gMainWindow.SetAction(kCommandPause, kActionRunGroup | kActionPauseEnabled);
    Pump();
    ExpectMainWindowFits("split, running");

    // The unit box's list shows its longest entry whole, beside a scroll bar.
    EXPECT_GE(::SendMessageW(Item(IDC_MAIN_UNIT), CB_GETDROPPEDWIDTH, 0, 0),
              TextWidth(Item(IDC_MAIN_UNIT), L"DVD DL 7.93 GB") +
                  Dpi::SystemMetric(SM_CXVSCROLL, RunDpi()));

    // Paused: the speed part holds its text.
    op.SetState(OperationState::Paused);
    gMainWindow.SetAction(kCommandResume, kActionRunGroup | kActionResumeEnabled);
    const HWND bar = Item(IDC_MAIN_STATUSBAR);
    RECT part{};
    ASSERT_TRUE(::SendMessageW(bar, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part)));
    // (The bar has no size grip of its own; one would take room from the part.)
    const bool grip = (::GetWindowLongW(bar, GWL_STYLE) & SBARS_SIZEGRIP) != 0;
    EXPECT_GE(part.right - part.left - (grip ? Dpi::SystemMetric(SM_CXVSCROLL, RunDpi()) : 0),
              TextWidth(bar, L"paused"));

    gMainWindow.Destroy();
    Pump();
    Open(RunMode::Join);
    gMainWindow.SetStatusBar(L"C:\\users\\somebody\\holiday video.avi.001");
    Pump();
    ExpectMainWindowFits("join");

    // The smallest the user can make it.
    ::SetWindowPos(Window(), nullptr, 0, 0, 1, 1, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    ExpectMainWindowFits("smallest");
}

TEST_F(DpiLayout, MainWindowLayoutIsScaledToTheDpi) {
    Open(RunMode::Split);
    const UINT dpi = RunDpi();
    const SIZE button = SizeOf(Item(IDOK));
    ExpectScaled(button.cx, 94, dpi, "button width");
    ExpectScaled(button.cy, 24, dpi, "button height");
    const RECT group = ChildRect(Item(IDC_MAIN_SIZE_GROUP));
    ExpectScaled(group.bottom - group.top, 46, dpi, "group height");
    ExpectScaled(ChildRect(Item(IDC_MAIN_PROGRESS)).top, 56, dpi, "progress top");

    MINMAXINFO limits{};
    ::SendMessageW(Window(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    ExpectScaled(limits.ptMinTrackSize.x, 400, dpi, "least width");
    ExpectScaled(limits.ptMaxTrackSize.y, 220, dpi, "greatest height");
}

TEST_F(DpiLayout, MainWindowFollowsAChangeOfDpi) {
    Open(RunMode::Split);
    const UINT from = RunDpi(), to = from * 3 / 2;
    const SIZE button = SizeOf(Item(IDOK)), window = SizeOf(Window());
    const LONG status = FontHeight(Item(IDC_MAIN_STATUS)), edit = FontHeight(Item(IDC_MAIN_SIZE));
    const LONG bar = FontHeight(Item(IDC_MAIN_STATUSBAR));
    const RECT group = ChildRect(Item(IDC_MAIN_SIZE_GROUP));

    SendDpiChange(Window(), from, to);
    Pump();
    const SIZE bigger = SizeOf(Window());
    EXPECT_NEAR(bigger.cx, window.cx * 3 / 2, 2);
    // (The least height at the new dpi may be a little more.)
    EXPECT_GE(bigger.cy, window.cy * 3 / 2 - 2);
    const SIZE biggerButton = SizeOf(Item(IDOK));
    EXPECT_NEAR(biggerButton.cx, button.cx * 3 / 2, 2);
    EXPECT_NEAR(biggerButton.cy, button.cy * 3 / 2, 2);
    const RECT biggerGroup = ChildRect(Item(IDC_MAIN_SIZE_GROUP));
    EXPECT_NEAR(biggerGroup.bottom - biggerGroup.top, (group.bottom - group.top) * 3 / 2, 2);
    // Rounded as the system rounds: 11 pixels at 96 dpi are 17 at 144, not 16.
    const LONG biggerEdit = FontHeight(Item(IDC_MAIN_SIZE));
    EXPECT_EQ(biggerEdit, ::MulDiv(edit, 3, 2));
    EXPECT_NEAR(FontHeight(Item(IDC_MAIN_STATUSBAR)), ::MulDiv(bar, 3, 2), 1);
    EXPECT_EQ(FontHeight(Item(IDC_MAIN_LINK)), biggerEdit);
    // The status line's face is made from the others', a quarter larger: the roundings add up.
    EXPECT_NEAR(FontHeight(Item(IDC_MAIN_STATUS)), status * 3 / 2, 2);
    EXPECT_EQ(Describe(LayoutFaults(Window())), "") << "after the change to " << to << " dpi";

    // And back: the layout it had.
    SendDpiChange(Window(), to, from);
    Pump();
    EXPECT_NEAR(SizeOf(Item(IDOK)).cx, button.cx, 1);
    EXPECT_EQ(FontHeight(Item(IDC_MAIN_STATUS)), status);
    EXPECT_EQ(Describe(LayoutFaults(Window())), "");
}

// A second file shows the queue's list below the progress display: the window grows by it (or
// to its least height), and everything fits, also at the smallest.
TEST_F(DpiLayout, MainWindowWithAQueueFits) {
    testing_support::TempDir dir{L"dpiqueue"};
    const std::wstring first = dir / L"holiday video.avi";
    ASSERT_TRUE(testing_support::WriteWholeFile(first, testing_support::MakePattern(1000)));
    BeginQueue(RunMode::Split, first);
    const SIZE alone = SizeOf(Window());
    ASSERT_TRUE(TakeWork(RunMode::Join, first + L".001"));
    Pump();
    EXPECT_GE(SizeOf(Window()).cy - alone.cy, ScaleForDpi(78, RunDpi()) - 2);
    ExpectScaled(SizeOf(Item(IDC_MAIN_QUEUE)).cy, 72, RunDpi(), "list height");
    ExpectMainWindowFits("queue");
    ::SetWindowPos(Window(), nullptr, 0, 0, 1, 1, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    ExpectMainWindowFits("queue, smallest");
}

TEST_F(DpiLayout, OptionsDialogFitsAndScalesItsGroupFont) {
    std::string faults = "not looked at", boxFaults;
    LONG dialogFont = 0, groupBefore = 0, groupAfter = 0;
    DialogWatcher watcher(kProgramCaption, nullptr, [&](HWND dialog) {
        faults = Describe(LayoutFaults(dialog));
        dialogFont = FontHeight(dialog);
        HWND group = ::GetDlgItem(dialog, IDC_OPT_GROUP);
        groupBefore = FontHeight(group);
        const UINT dpi = Dpi::ForWindow(dialog);
        SendDpiChange(dialog, dpi, dpi * 3 / 2);
        groupAfter = FontHeight(group);
        SendDpiChange(dialog, dpi * 3 / 2, dpi);
        ::SendMessageW(dialog, WM_COMMAND, IDOK, 0);
    });
    OptionsDialog::Run(nullptr);
    ASSERT_TRUE(watcher.Found());
    EXPECT_EQ(faults, "") << "at " << RunDpi() << " dpi";
    EXPECT_EQ(groupBefore, dialogFont);
    EXPECT_NEAR(groupAfter, groupBefore * 3 / 2, 1);
}

TEST_F(DpiLayout, MissingPartQuestionShowsEveryFolderWhole) {
    const std::wstring deep = L"E:\\Holidays 2026\\The long trip along the coast of Norway\\"
                              L"Films from the second camera\\Day 14 to day 21\\Parts";
    std::wstring unbroken = L"\\\\fileserver\\";
    for (int i = 0; i < 12; ++i)
        unbroken += L"SharedFolderNumber" + std::to_wstring(i) + L"\\";
    for (const std::wstring& place : {std::wstring(L"E:\\"), deep, unbroken}) {
        std::string faults = "not looked at";
        DialogWatcher watcher(kProgramCaption, nullptr, [&](HWND dialog) {
            // The question measured in lines of its width, the buttons below it, all on screen.
            faults = Describe(LayoutFaults(dialog));
            RECT window{};
            ::GetWindowRect(dialog, &window);
            MONITORINFO monitor{};
            monitor.cbSize = sizeof monitor;
            ::GetMonitorInfoW(::MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
            if (window.top < monitor.rcWork.top || window.bottom > monitor.rcWork.bottom)
                faults += "off the screen";
            ::SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        WideString folder;
        folder.Assign(place.c_str(), static_cast<uint32_t>(place.size()));
        EXPECT_EQ(MissingPartPrompt::Ask(nullptr, L"trip.avi.004", folder), PartAnswer::Cancel);
        ASSERT_TRUE(watcher.Found());
        EXPECT_EQ(faults, "") << "at " << RunDpi() << " dpi, in " << Narrow(place);
    }
}

namespace {

class DpiSetupLayout : public shell_test::ShellRegistryTest {
protected:
    void TearDown() override {
        if (dialog.IsBound())
            dialog.Destroy();
        ui_tests::PumpFor(10);
        ShellRegistryTest::TearDown();
    }
    SetupDialog dialog;
};

} // namespace

TEST_F(DpiSetupLayout, SetupDialogFitsEveryStatus) {
    ASSERT_TRUE(dialog.CreateModeless(IDD_SETUP, nullptr));
    dialog.ShowWindow(SW_SHOWNORMAL);
    ui_tests::PumpFor(30, dialog.Handle());
    EXPECT_EQ(Describe(LayoutFaults(dialog.Handle())), "") << "at " << RunDpi() << " dpi";
    HWND status = dialog.GetDlgItem(IDC_SETUP_STATUS);
    for (const wchar_t* text : kSetupStatuses)
        EXPECT_EQ(Describe(TextFaults(status, text)), "");
    EXPECT_EQ(Describe(TextFaults(dialog.GetDlgItem(IDC_SETUP_ACTION), L"Repair")), "");

    // Another dpi: the bold title follows, so does the link's underlined font.
    HWND group = dialog.GetDlgItem(IDC_SETUP_GROUP);
    const LONG title = FontHeight(group);
    const UINT dpi = Dpi::ForWindow(dialog.Handle());
    SendDpiChange(dialog.Handle(), dpi, dpi * 2);
    EXPECT_NEAR(FontHeight(group), title * 2, 1);
    EXPECT_EQ(reinterpret_cast<HFONT>(::SendMessageW(group, WM_GETFONT, 0, 0)), dialog.BoldFont());
}
