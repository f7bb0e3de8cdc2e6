#include "MainWindowFixture.h"

#include "app/ProgramInfo.h"
#include "ops/CheckOperation.h"
#include "ops/JoinOperation.h"
#include "ops/Commands.h"
#include "support/Par2TestSets.h"
#include "support/Screenshot.h"
#include "support/TestFiles.h"
#include "toolkit/Dpi.h"
#include "ui/OptionsDialog.h"
#include "ui/SetupDialog.h"
#include "ui/SetupTestSupport.h"
#include "ui/ShellActions.h"
#include "ui/ShellIntegration.h"

using namespace ui_tests;
using namespace testing_support;

// Pictures of the windows in each state, for a person to look at: scripts/screenshots.sh runs
// this (it is disabled in the normal test run) at each dpi and turns the pictures into PNG
// files. Every name starts with the dpi of the run, as in "144dpi-options".

namespace {

std::wstring OutputFolder(const TempDir& fallback) {
    wchar_t folder[MAX_PATH] = L"";
    const DWORD n = ::GetEnvironmentVariableW(L"BRINDLECOT_SCREENSHOT_DIR", folder, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(folder) : fallback.Path();
}

std::wstring gFolder;

void Save(HWND window, const wchar_t* name, HWND popup = nullptr) {
    const std::wstring file =
        gFolder + L"\\" + std::to_wstring(Dpi::ForWindow(window)) + L"dpi-" + name + L".bmp";
    EXPECT_TRUE(SaveWindowScreenshot(window, file, popup)) << Narrow(file);
}

// A popup that a modal loop shows (a menu, a dialog), taken once it is there and then closed:
// alone, or over the main window, to which a dialog then is moved and fitted (Wine's screen is
// 1024 by 768, and whatever lies off it is taken black).
struct PopupShot {
    const wchar_t* name;
    const wchar_t* windowClass;
    const wchar_t* caption;
    bool alone;
};
PopupShot gShot{};
bool gShotSaved = false;

void CALLBACK ShootPopup(HWND, UINT, UINT_PTR timer, DWORD) {
    const HWND popup = ::FindWindowW(gShot.windowClass, gShot.caption);
    if (popup == nullptr || !::IsWindowVisible(popup))
        return;
    ::KillTimer(nullptr, timer);
    RECT frame{};
    ::GetWindowRect(popup, &frame);
    if (!gShot.alone)
        ::SetWindowPos(popup, nullptr, 0, 0, std::min<int>(frame.right - frame.left, 1000),
                       std::min<int>(frame.bottom - frame.top, 740), SWP_NOZORDER);
    Save(gShot.alone ? popup : gMainWindow.Handle(), gShot.name, gShot.alone ? nullptr : popup);
    gShotSaved = true;
    if (std::wstring(gShot.windowClass) == L"#32768")
        ::EndMenu();
    else
        ::PostMessageW(popup, WM_COMMAND, IDCANCEL, 0);
}

// Takes the popup that the next call shows.
void ShootNextPopup(const PopupShot& shot) {
    gShot = shot;
    gShotSaved = false;
    ::SetTimer(nullptr, 0, 300, ShootPopup);
}

class DISABLED_Screenshots : public EngineWindowTest {
protected:
    void SetUp() override {
        EngineWindowTest::SetUp();
        gOpenFolderAndSelectItems = nullptr;
        gFolder = OutputFolder(temp);
    }
    // As the program starts it.
    SplitOperation& Start(const std::wstring& path) {
        BeginQueue(RunMode::Split, path);
        ::SetForegroundWindow(Window());
        Pump(100);
        return static_cast<SplitOperation&>(*gOperation);
    }

    TempDir temp{L"shots"};
    TempDir dir{L"shotdata"};
};

} // namespace

TEST_F(DISABLED_Screenshots, MainWindowStatesAndOptions) {
    // Small buffers and one IoPair: the split takes long enough to be caught under way.
    const uint32_t buffer = 131072, pairs = 1;
    WriteDword(L"BufferSize", buffer);
    WriteDword(L"IoPairCount", pairs);
    const std::wstring path = dir / L"holiday video.avi";
    ASSERT_TRUE(WritePatternFile(path, 24ull << 20, 7));

    SplitOperation& split = Start(path);
    Save(Window(), L"1-split-waiting-no-part-size");

    ::SendMessageW(Item(IDC_MAIN_SIZE), WM_CHAR, L'5', 1);
    Pump(50);
    Save(Window(), L"2-split-waiting-with-part-size");
    // The unit box's list, with the number of parts and the media sizes.
    COMBOBOXINFO unitBox{};
    unitBox.cbSize = sizeof unitBox;
    ::GetComboBoxInfo(Item(IDC_MAIN_UNIT), &unitBox);
    ::SendMessageW(Item(IDC_MAIN_UNIT), CB_SHOWDROPDOWN, TRUE, 0);
    Save(Window(), L"2-split-unit-list", unitBox.hwndList);
    ::SendMessageW(Item(IDC_MAIN_UNIT), CB_SHOWDROPDOWN, FALSE, 0);

    ::SendMessageW(Item(IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpDialog(
        Window(),
        [&] {
            return split.Progress() >= 40.0f && !StatusBarText(Item(IDC_MAIN_STATUSBAR), 1).empty();
        },
        60000));
    Save(Window(), L"3-split-running");

    ::SendMessageW(Window(), WM_COMMAND, kCommandPause, 0);
    Pump(200);
    Save(Window(), L"4-split-paused");

    ::SendMessageW(Window(), WM_COMMAND, kCommandResume, 0);
    ASSERT_TRUE(PumpDialog(
        Window(), [&] { return split.State() == OperationState::Done; }, 60000));
    Pump(100);
    Save(Window(), L"5-split-done");

    ShootNextPopup({L"options", L"#32770", kProgramCaption, true});
    ::SendMessageW(Window(), WM_COMMAND, kCommandConfiguration, 0);
    EXPECT_TRUE(gShotSaved);

    gOperation->Abort();
    gMainWindow.Destroy();
    Pump();

    // An error: a part of the same name is in the way.
    const std::wstring second = dir / L"report.pdf";
    ASSERT_TRUE(WritePatternFile(second, 5u << 20, 8));
    ASSERT_TRUE(WriteWholeFile(dir / L"report.pdf.002", MakePattern(10)));
    const uint64_t partSize = 1u << 20;
    WriteBinary(L"PartSize", &partSize, 8);
    SplitOperation& failing = Start(second);
    ::SendMessageW(Window(), WM_COMMAND, kCommandSplit, 0);
    ASSERT_TRUE(PumpDialog(
        Window(), [&] { return failing.State() == OperationState::Failed; }, 60000));
    Pump(100);
    Save(Window(), L"6-split-error");
}

// A check of twelve parts, one damaged and one lost: its report, then after the repair.
TEST_F(DISABLED_Screenshots, CheckReport) {
    const std::wstring whole = dir / L"holiday video.avi";
    std::vector<SetFile> files;
    ASSERT_TRUE(MakeTwelvePartsToRepair(whole, files));
    CheckOperation& check = Launch<CheckOperation>(RunMode::Check, whole + L".001");
    gMainWindow.ShowWindow(SW_SHOWNORMAL);
    ::SetForegroundWindow(Window());
    ASSERT_TRUE(PumpDialog(
        Window(), [&] { return check.State() == OperationState::Done; }, 60000));
    Pump(100);
    Save(Window(), L"7-check-damaged");
    ::SendMessageW(Window(), WM_COMMAND, kCommandRepair, 0);
    ASSERT_TRUE(PumpDialog(
        Window(), [&] { return check.State() == OperationState::Done; }, 60000));
    Pump(100);
    Save(Window(), L"8-check-repaired");
    // Still arriving, then too many parts gone for the recovery data.
    for (const auto& [missing, name] : {std::pair{2, L"8-check-arriving"}, {5, L"8-check-short"}}) {
        for (int i = 12 - missing; i < 12; ++i)
            ::DeleteFileW((dir / files[i].name).c_str());
        gOperation->Abort();
        gMainWindow.Destroy();
        Pump();
        CheckOperation& again = Launch<CheckOperation>(RunMode::Check, whole + L".001");
        gMainWindow.ShowWindow(SW_SHOWNORMAL);
        ASSERT_TRUE(PumpDialog(
            Window(), [&] { return again.State() == OperationState::Done; }, 60000));
        Pump(100);
        Save(Window(), name);
    }
}

// A queue of four files: a split that waits for its part size with the others behind it, the
// queue under way, and its end with one file refused.
TEST_F(DISABLED_Screenshots, MainWindowWithAQueue) {
    WriteDword(L"BufferSize", 131072);
    WriteDword(L"IoPairCount", 1);
    const std::wstring first = dir / L"holiday video.avi", second = dir / L"report.pdf";
    ASSERT_TRUE(WritePatternFile(first, 24ull << 20, 7));
    ASSERT_TRUE(WritePatternFile(second, 12ull << 20, 8));
    Start(first);
    ::SendMessageW(Item(IDC_MAIN_SIZE), WM_CHAR, L'4', 1);
    // A missing file: refused.
    for (const std::wstring& file : {second, dir / L"notes from the trip to the sea.txt"})
        ASSERT_TRUE(TakeWork(RunMode::Split, file));
    Pump(100);
    Save(Window(), L"7-queue-waiting");
    ::SendMessageW(Item(IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpDialog(
        Window(), [&] { return gMainWindow.Queue().Current() == 1 && gOperation->Progress() > 30; },
        60000));
    Save(Window(), L"8-queue-running");
    ASSERT_TRUE(PumpUntilQueueEnded());
    Pump(100);
    Save(Window(), L"9-queue-ended");
}

// The action menu with Split to… and Join to…, and the folder picker over the window it belongs
// to.
TEST_F(DISABLED_Screenshots, FolderChoice) {
    const auto shootMenu = [&](const wchar_t* name) {
        // The window at the top, the menu below it: Wine may paint a window over a menu that
        // overlaps it.
        ::SetWindowPos(Window(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ShootNextPopup({name, L"#32768", nullptr, true});
        ::TrackPopupMenu(gMainWindow.ActionMenu(), 0, 0, 420, 0, Window(), nullptr);
        EXPECT_TRUE(gShotSaved);
    };
    const std::wstring path = dir / L"holiday video.avi";
    ASSERT_TRUE(WritePatternFile(path, 12ull << 20, 7));
    Start(path);
    ::SendMessageW(Item(IDC_MAIN_SIZE), WM_CHAR, L'4', 1);
    shootMenu(L"10-split-menu");
    ShootNextPopup({L"10-split-to-picker", L"#32770", L"Split holiday video.avi to", false});
    ::SendMessageW(Window(), WM_COMMAND, MainWindow::kCommandSplitTo, 0);
    EXPECT_TRUE(gShotSaved);

    // A join refused for the file in its way offers Join to….
    gOperation->Abort();
    gMainWindow.Destroy();
    ASSERT_TRUE(WriteWholeFile(path + L".001", MakePattern(1000, 1)));
    Launch<JoinOperation>(RunMode::Join, path + L".001");
    gMainWindow.ShowWindow(SW_SHOWNORMAL);
    ASSERT_TRUE(PumpDialog(
        Window(), [&] { return gOperation->State() == OperationState::Failed; }, 60000));
    shootMenu(L"11-join-menu");
}

TEST_F(DISABLED_Screenshots, SetupDialogStates) {
    shell_test::RemoveTestEntries();
    SetupDialog setup;
    ASSERT_TRUE(setup.CreateModeless(IDD_SETUP, nullptr));
    setup.ShowWindow(SW_SHOWNORMAL);
    ::SetForegroundWindow(setup.Handle());
    ui_tests::PumpFor(100, setup.Handle());
    Save(setup.Handle(), L"setup-not-installed");

    // Verbs of another copy: Repair, and the two-line status.
    ASSERT_TRUE(ShellIntegration::Install());
    shell_test::WriteDefault(L".001\\Shell\\join\\command",
                             L"\"C:\\Elsewhere\\brindlecot.exe\" /j \"%1\"");
    setup.Destroy();
    ASSERT_TRUE(setup.CreateModeless(IDD_SETUP, nullptr));
    setup.ShowWindow(SW_SHOWNORMAL);
    ::SetForegroundWindow(setup.Handle());
    ui_tests::PumpFor(100, setup.Handle());
    Save(setup.Handle(), L"setup-corrupted");
    setup.Destroy();
    shell_test::RemoveTestEntries();
}

TEST_F(DISABLED_Screenshots, MissingPartPrompt) {
    // Part 3 lies beside part 1: the join asks for part 2, in a folder deep enough to wrap.
    std::wstring deep = dir.Path();
    for (const wchar_t* folder :
         {L"Norway along the coast", L"Films from the second camera",
          L"Day14to21SecondCameraUnsortedAndUncutFootageOfTheBoatTripNorth"}) {
        deep += std::wstring(L"\\") + folder;
        ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr));
    }
    const std::wstring whole = deep + L"\\trip.avi";
    ASSERT_TRUE(WritePatternFile(PartName(whole, 1), 4096) &&
                WritePatternFile(PartName(whole, 3), 9));
    ShootNextPopup({L"missing-part", L"#32770", kProgramCaption, true});
    BeginQueue(RunMode::Join, PartName(whole, 1));
    ASSERT_TRUE(PumpDialog(
        Window(), [&] { return gOperation->State() == OperationState::Failed; }, 60000));
    EXPECT_TRUE(gShotSaved);
}
