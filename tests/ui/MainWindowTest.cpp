#include "MainWindowFixture.h"

#include "app/ProgramInfo.h"
#include "ops/Commands.h"
#include "ui/PartSizeInput.h"

#include <commctrl.h>

#include <cstring>

using namespace ui_tests;

namespace {

constexpr int kUnchanged = -1;

// One call of the operations and what it must leave: 1 enabled, 0 greyed, kUnchanged.
struct ActionRow {
    UINT id;
    UINT flags;
    const wchar_t* label;
    int split, pause, resume, open, find;
    int mode; // 1, 2 or kUnchanged
};

const ActionRow kActionRows[] = {
    {kCommandSplit, kActionRunGroup | kActionSplitEnabled | kActionLabelRuns, L"&Split", 1, 0, 0,
     kUnchanged, kUnchanged, 1},
    {kCommandSplit, kActionRunGroup | kActionSplitEnabled | kActionLabelInert, L"&Split", 1, 0, 0,
     kUnchanged, kUnchanged, 2},
    {kCommandSplit, kActionRunGroup | kActionLabelInert, L"&Split", 0, 0, 0, kUnchanged, kUnchanged,
     2},
    {kCommandPause, kActionRunGroup | kActionPauseEnabled, L"&Pause", 0, 1, 0, kUnchanged,
     kUnchanged, kUnchanged},
    {kCommandResume, kActionRunGroup | kActionResumeEnabled, L"&Resume", 0, 0, 1, kUnchanged,
     kUnchanged, kUnchanged},
    {kCommandOpen, kActionRunGroup | kActionResultGroup | kActionOpenEnabled | kActionFindEnabled,
     L"&Open", 0, 0, 0, 1, 1, kUnchanged},
    {kCommandFind, kActionRunGroup | kActionResultGroup | kActionFindEnabled, L"&Find", 0, 0, 0, 0,
     1, kUnchanged},
    {kCommandExit, kActionRunGroup | kActionResultGroup, L"E&xit", 0, 0, 0, 0, 0, kUnchanged},
};

void SetAllItems(UINT flags) {
    for (UINT id = kCommandSplit; id <= kCommandConfiguration; ++id)
        ::EnableMenuItem(gMainWindow.ActionMenu(), id, MF_BYCOMMAND | flags);
}

// Sends the notification a control sends its parent.
void Notify(int id, UINT code) {
    ::SendMessageW(gMainWindow.Handle(), WM_COMMAND, MAKEWPARAM(id, code),
                   reinterpret_cast<LPARAM>(::GetDlgItem(gMainWindow.Handle(), id)));
}

void TypeInto(HWND edit, const wchar_t* text) {
    for (const wchar_t* p = text; *p; ++p)
        ::SendMessageW(edit, WM_CHAR, *p, 1);
}

uint64_t StoredPartSize() {
    std::vector<uint8_t> data = ReadValue(L"PartSize");
    uint64_t value = 0xDEAD;
    if (data.size() == 8)
        std::memcpy(&value, data.data(), 8);
    return value;
}

} // namespace

TEST_F(MainWindowTest, SplitModeStartsWithThePanelAndAGreyedSplit) {
    Open(RunMode::Split);
    EXPECT_TRUE(gMainWindow.IsPartSizePanelShown());
    EXPECT_TRUE(::IsWindowVisible(Item(IDC_MAIN_SIZE)));
    EXPECT_TRUE(::IsWindowVisible(Item(IDC_MAIN_UNIT)));
    EXPECT_TRUE(::IsWindowVisible(Item(IDC_MAIN_SIZE_GROUP)));
    EXPECT_EQ(TextOf(Item(IDC_MAIN_SIZE_GROUP)), L"Parts size");
    EXPECT_EQ(Label(), L"&Split");
    EXPECT_EQ(DefaultItem(), kCommandSplit);
    EXPECT_EQ(::GetFocus(), Item(IDC_MAIN_SIZE));
    for (UINT id = kCommandSplit; id <= kCommandFind; ++id)
        EXPECT_TRUE(Greyed(id)) << id;
    EXPECT_FALSE(Greyed(kCommandExit));
    EXPECT_FALSE(Greyed(kCommandConfiguration));
    EXPECT_EQ(gMainWindow.ActionMode(), SplitButtonMode::Normal);
    EXPECT_EQ(::GetMenuItemCount(gMainWindow.ActionMenu()), 11);
    EXPECT_EQ(MenuText(1), L"Split to\u2026");
    EXPECT_TRUE(Greyed(MainWindow::kCommandSplitTo));
    EXPECT_EQ(TextOf(Item(IDC_MAIN_LINK)), L"https://brindlecot.org/");
    ASSERT_EQ(::SendMessageW(Item(IDC_MAIN_UNIT), CB_GETCOUNT, 0, 0), 11);
    const wchar_t* units[] = {L"Byte",       L"KB",          L"MB",
                              L"GB",         L"parts",       L"FAT32 largest",
                              L"CD 700 MB",  L"DVD 4.37 GB", L"DVD DL 7.93 GB",
                              L"BD 22.5 GB", L"E-mail 25 MB"};
    for (int i = 0; i < 11; ++i) {
        wchar_t text[16] = {};
        ::SendMessageW(Item(IDC_MAIN_UNIT), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        EXPECT_STREQ(text, units[i]);
    }
    EXPECT_NE(gMainWindow.GetIcon(ICON_BIG), nullptr);
    EXPECT_NE(gMainWindow.GetIcon(ICON_SMALL), nullptr);
}

TEST_F(MainWindowTest, JoinModeHidesThePanelAndOffersPause) {
    Open(RunMode::Join);
    EXPECT_FALSE(gMainWindow.IsPartSizePanelShown());
    EXPECT_FALSE(::IsWindowVisible(Item(IDC_MAIN_SIZE)));
    EXPECT_FALSE(::IsWindowVisible(Item(IDC_MAIN_UNIT)));
    EXPECT_FALSE(::IsWindowVisible(Item(IDC_MAIN_SIZE_GROUP)));
    EXPECT_EQ(Label(), L"&Pause");
    EXPECT_EQ(DefaultItem(), kCommandPause);
    EXPECT_FALSE(Greyed(kCommandPause));
    EXPECT_TRUE(Greyed(kCommandSplit));
    EXPECT_TRUE(Greyed(kCommandResume));
    EXPECT_EQ(::GetFocus(), Item(IDOK));
    // A join begins at once: it can be sent elsewhere once it runs or has failed.
    EXPECT_EQ(MenuText(1), L"Join to\u2026");
    EXPECT_TRUE(Greyed(MainWindow::kCommandJoinTo));
    EXPECT_EQ(::GetMenuState(gMainWindow.ActionMenu(), MainWindow::kCommandSplitTo, MF_BYCOMMAND),
              static_cast<UINT>(-1));
}

TEST_F(MainWindowTest, EverySetActionOfTheOperationsLeavesItsState) {
    Open(RunMode::Split);
    // Each row from two opposite starting states, so that "unchanged" shows.
    for (const ActionRow& row : kActionRows) {
        for (int before = 0; before < 2; ++before) {
            SetAllItems(before ? MF_ENABLED : MF_GRAYED);
            gMainWindow.SetAction(kCommandExit, before ? kActionLabelRuns : kActionLabelInert);
            gMainWindow.SetAction(row.id, row.flags);
            SCOPED_TRACE(testing::Message() << row.id << " 0x" << std::hex << row.flags << " from "
                                            << (before ? "enabled" : "greyed"));
            EXPECT_EQ(Label(), row.label);
            EXPECT_EQ(DefaultItem(), row.id);
            const int expected[] = {row.split, row.pause, row.resume, row.open, row.find};
            for (UINT id = kCommandSplit; id <= kCommandFind; ++id) {
                const int want = expected[id - kCommandSplit] == kUnchanged
                                     ? before
                                     : expected[id - kCommandSplit];
                EXPECT_EQ(!Greyed(id), want == 1) << id;
            }
            EXPECT_EQ(Greyed(MainWindow::kCommandSplitTo), Greyed(kCommandSplit));
            EXPECT_EQ(static_cast<int>(gMainWindow.ActionMode()),
                      row.mode == kUnchanged ? (before ? 1 : 2) : row.mode);
        }
    }
    // Exit and Configuration are never greyed by the operations.
    SetAllItems(MF_ENABLED);
    for (const ActionRow& row : kActionRows)
        gMainWindow.SetAction(row.id, row.flags);
    EXPECT_FALSE(Greyed(kCommandExit));
    EXPECT_FALSE(Greyed(kCommandConfiguration));
}

TEST_F(MainWindowTest, CaptionIsRewrittenOnlyWhenItsChecksumChanges) {
    Open(RunMode::Split);
    ::SetWindowTextW(Window(), L"marker");
    gMainWindow.SetTitle(L"");
    EXPECT_EQ(Caption(), L"marker"); // an empty name has checksum 0, like a fresh window

    gMainWindow.SetTitleProgress(L"file.bin", 12.0f);
    EXPECT_EQ(Caption(), L"file.bin [12 %]");
    // '1' ^ '2' equals '2' ^ '1': the same checksum, so nothing is written.
    gMainWindow.SetTitleProgress(L"file.bin", 21.0f);
    EXPECT_EQ(Caption(), L"file.bin [12 %]");
    gMainWindow.SetTitleProgress(L"file.bin", 13.0f);
    EXPECT_EQ(Caption(), L"file.bin [13 %]");
    gMainWindow.SetTitleProgress(L"data.bin", 42.3f);
    EXPECT_EQ(Caption(), L"data.bin [42 %]");
    gMainWindow.SetTitleProgress(L"data.bin", 99.7f);
    EXPECT_EQ(Caption(), L"data.bin [100 %]");
    gMainWindow.SetTitle(L"data.bin");
    EXPECT_EQ(Caption(), L"data.bin");

    EXPECT_EQ(MainWindow::CaptionChecksum(L""), 0);
    EXPECT_EQ(MainWindow::CaptionChecksum(L"A"), 0xBE41);
    // Only the low byte of each character counts; x = 0 still gives a non-zero sum.
    EXPECT_EQ(MainWindow::CaptionChecksum(L"\x0141"), 0xBE41);
    EXPECT_EQ(MainWindow::CaptionChecksum(L"aa"), 0xFF00);
}

TEST_F(MainWindowTest, StoredPartSizeIsShownInTheLargestExactUnit) {
    struct Case {
        uint64_t stored;
        const wchar_t* text;
        int unit;
    };
    const Case cases[] = {
        {0, L"", 2},
        {10485760, L"10", 2},
        {1536, L"1536", 0},
        {3221225472ull, L"3", 3},
        {1ull << 40, L"1024", 3},
        {5120, L"5", 1},
    };
    SetMode(RunMode::Split);
    gOperation.reset(new RecordingOperation(gMainWindow));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        WriteBinary(L"PartSize", &c.stored, 8);
        ASSERT_TRUE(gMainWindow.CreateModeless(IDD_MAIN, nullptr));
        EXPECT_EQ(TextOf(Item(IDC_MAIN_SIZE)), c.text);
        EXPECT_EQ(::SendMessageW(Item(IDC_MAIN_UNIT), CB_GETCURSEL, 0, 0), c.unit);
        EXPECT_EQ(gMainWindow.GetPartSize(), c.stored);
        DWORD start = 99, end = 99;
        ::SendMessageW(Item(IDC_MAIN_SIZE), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                       reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, std::wcslen(c.text));
        // Filling the hidden panel is no change by the user: nothing is told or stored.
        EXPECT_TRUE(static_cast<RecordingOperation&>(*gOperation).sizesSeen.empty());
        EXPECT_EQ(StoredPartSize(), c.stored);
        gMainWindow.Destroy();
    }
    // A number of parts chosen last comes back as it was chosen.
    WriteDword(L"PartCount", 4);
    ASSERT_TRUE(gMainWindow.CreateModeless(IDD_MAIN, nullptr));
    EXPECT_EQ(TextOf(Item(IDC_MAIN_SIZE)), L"4");
    EXPECT_EQ(::SendMessageW(Item(IDC_MAIN_UNIT), CB_GETCURSEL, 0, 0), 4);
    EXPECT_EQ(gMainWindow.GetPartCount(), 4u);
    gMainWindow.Destroy();
}

TEST_F(MainWindowTest, PartSizeEditsReachTheOperationAndTheSettings) {
    RecordingOperation& operation = Open(RunMode::Split);
    HWND edit = Item(IDC_MAIN_SIZE), unit = Item(IDC_MAIN_UNIT);
    TypeInto(edit, L"5");
    ::SendMessageW(unit, CB_SETCURSEL, 1, 0);
    Notify(IDC_MAIN_UNIT, CBN_SELCHANGE);
    EXPECT_EQ(gMainWindow.GetPartSize(), 5120u);
    ASSERT_FALSE(operation.sizesSeen.empty());
    EXPECT_EQ(operation.sizesSeen.back(), 5120u);
    EXPECT_EQ(StoredPartSize(), 5120u);

    // Letters do not get into the number.
    TypeInto(edit, L"x");
    EXPECT_EQ(TextOf(edit), L"5");

    ::SetWindowTextW(edit, L"");
    EXPECT_EQ(gMainWindow.GetPartSize(), 0u);
    EXPECT_EQ(StoredPartSize(), 0u);

    ::SetWindowTextW(edit, L"7");
    ::SendMessageW(unit, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    Notify(IDC_MAIN_UNIT, CBN_SELCHANGE);
    EXPECT_EQ(gMainWindow.GetPartSize(), 0u); // no unit, no size

    ::SendMessageW(unit, CB_SETCURSEL, 3, 0);
    Notify(IDC_MAIN_UNIT, CBN_SELCHANGE);
    EXPECT_EQ(gMainWindow.GetPartSize(), 7ull << 30);
    EXPECT_EQ(StoredPartSize(), 7ull << 30);

    // A medium's size, picked in the unit box, becomes its number and unit.
    const struct {
        const wchar_t* number;
        int unit;
        uint64_t bytes;
    } media[] = {{L"4294967295", 0, 4294967295u}, {L"700", 2, 700ull << 20},
                 {L"4480", 2, 4480ull << 20},     {L"8128", 2, 8128ull << 20},
                 {L"23040", 2, 23040ull << 20},   {L"17", 2, 17ull << 20}};
    for (int i = 0; i < 6; ++i) {
        ::SendMessageW(unit, CB_SETCURSEL, 5 + i, 0);
        Notify(IDC_MAIN_UNIT, CBN_SELCHANGE);
        EXPECT_EQ(TextOf(edit), media[i].number);
        EXPECT_EQ(::SendMessageW(unit, CB_GETCURSEL, 0, 0), media[i].unit);
        EXPECT_EQ(operation.sizesSeen.back(), media[i].bytes);
        EXPECT_EQ(StoredPartSize(), media[i].bytes);
    }
}

TEST_F(MainWindowTest, APartSizeBeyondSixtyFourBitsIsNoPartSize) {
    RecordingOperation& operation = Open(RunMode::Split);
    HWND edit = Item(IDC_MAIN_SIZE), unit = Item(IDC_MAIN_UNIT);
    ::SendMessageW(unit, CB_SETCURSEL, 3, 0);
    ::SetWindowTextW(edit, L"999999999999999"); // fifteen nines GB would wrap
    EXPECT_EQ(gMainWindow.GetPartSize(), 0u);
    EXPECT_EQ(operation.sizesSeen.back(), 0u);
    EXPECT_EQ(StoredPartSize(), 0u);

    // The largest that fits, in each unit, is taken whole; one more is refused.
    ::SetWindowTextW(edit, L"17179869183"); // (2^64 - 1) >> 30
    EXPECT_EQ(gMainWindow.GetPartSize(), 17179869183ull << 30);
    ::SetWindowTextW(edit, L"17179869184");
    EXPECT_EQ(gMainWindow.GetPartSize(), 0u);
    ::SendMessageW(unit, CB_SETCURSEL, 0, 0);
    ::SetWindowTextW(edit, L"18446744073709551615");
    EXPECT_EQ(gMainWindow.GetPartSize(), UINT64_MAX);
    ::SetWindowTextW(edit, L"18446744073709551616");
    EXPECT_EQ(gMainWindow.GetPartSize(), 0u);
    // Longer than any 64-bit number, even with leading zeros: refused, not cut.
    ::SetWindowTextW(edit, L"000000000000000000001");
    EXPECT_EQ(gMainWindow.GetPartSize(), 0u);

    // Typing stops at twenty digits.
    ::SetWindowTextW(edit, L"");
    TypeInto(edit, L"1234567890123456789012345");
    EXPECT_EQ(TextOf(edit), L"12345678901234567890");

    EXPECT_EQ(PartSizeFromInput(L"5", 1), 5120u);
    EXPECT_EQ(PartSizeFromInput(L"12a", 0), 0u);
    EXPECT_EQ(PartSizeFromInput(L"5", 4), 0u);
}

TEST_F(MainWindowTest, EditsWhileThePanelIsHiddenChangeNothing) {
    RecordingOperation& join = Open(RunMode::Join);
    ::SetWindowTextW(Item(IDC_MAIN_SIZE), L"5");
    ::SendMessageW(Item(IDC_MAIN_UNIT), CB_SETCURSEL, 1, 0);
    Notify(IDC_MAIN_UNIT, CBN_SELCHANGE);
    EXPECT_TRUE(join.sizesSeen.empty());
    EXPECT_EQ(gMainWindow.GetPartSize(), 0u);
    EXPECT_FALSE(ValueExists(L"PartSize"));
    gMainWindow.Destroy();

    // A split under way hides the panel too.
    RecordingOperation& split = Open(RunMode::Split);
    ::SetWindowTextW(Item(IDC_MAIN_SIZE), L"3");
    ASSERT_EQ(split.sizesSeen.size(), 1u);
    gMainWindow.ShowPartSizePanel(false);
    Pump();
    EXPECT_EQ(::GetFocus(), Item(IDOK));
    ::SetWindowTextW(Item(IDC_MAIN_SIZE), L"9");
    ::SendMessageW(Item(IDC_MAIN_UNIT), CB_SETCURSEL, 0, 0);
    Notify(IDC_MAIN_UNIT, CBN_SELCHANGE);
    EXPECT_EQ(split.sizesSeen.size(), 1u);
    EXPECT_EQ(gMainWindow.GetPartSize(), 3ull << 20);
    EXPECT_EQ(StoredPartSize(), 3ull << 20);
}

TEST_F(MainWindowTest, LayoutFollowsTheClientSize) {
    for (RunMode mode : {RunMode::Split, RunMode::Join}) {
        Open(mode);
        ::SetWindowPos(Window(), nullptr, 0, 0, 640, 200, SWP_NOMOVE | SWP_NOZORDER);
        Pump();
        RECT client{};
        ::GetClientRect(Window(), &client);
        const int w = client.right;
        RECT bar = ChildRect(Item(IDC_MAIN_STATUSBAR));
        EXPECT_EQ(bar.bottom, client.bottom); // docked at the bottom
        EXPECT_EQ(bar.right - bar.left, w);
        const int h = client.bottom - (bar.bottom - bar.top);
        struct Expect {
            int id;
            RECT rect;
        };
        const bool panel = mode == RunMode::Split;
        const Expect expected[] = {
            {IDOK, {w - 101, h - 29, w - 7, h - 5}},
            {IDC_MAIN_LINK, {7, h - 29, w - 101, h - 5}},
            {IDC_MAIN_PROGRESS, {7, 56, w - 7, h - 35}},
            {IDC_MAIN_SIZE_GROUP, {w - 127, 5, w - 7, 51}},
            {IDC_MAIN_STATUS, {7, 10, panel ? w - 134 : w - 3, 51}},
            {IDC_MAIN_SIZE, {w - 120, 23, w - 80, 43}},
        };
        for (const Expect& e : expected) {
            RECT r = ChildRect(Item(e.id));
            SCOPED_TRACE(e.id);
            EXPECT_EQ(r.left, e.rect.left);
            EXPECT_EQ(r.top, e.rect.top);
            EXPECT_EQ(r.right, e.rect.right);
            EXPECT_EQ(r.bottom, e.rect.bottom);
        }
        // A combo box keeps its own height; its position and width follow the layout.
        RECT combo = ChildRect(Item(IDC_MAIN_UNIT));
        EXPECT_EQ(combo.left, w - 75);
        EXPECT_EQ(combo.top, 23);
        EXPECT_EQ(combo.right, w - 15);
        gMainWindow.Destroy();
        gOperation.reset();
    }
}

TEST_F(MainWindowTest, TrackingSizeIsKeptBetweenItsLimits) {
    Open(RunMode::Split);
    MINMAXINFO info{};
    info.ptMinTrackSize = {1, 1};
    info.ptMaxTrackSize = {5000, 5000};
    ::SendMessageW(Window(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 400);
    EXPECT_EQ(info.ptMinTrackSize.y, 160);
    EXPECT_EQ(info.ptMaxTrackSize.x, 1000);
    EXPECT_EQ(info.ptMaxTrackSize.y, 220);

    // The system applies them to every size change of the window.
    RECT r{};
    ::SetWindowPos(Window(), nullptr, 0, 0, 100, 50, SWP_NOMOVE | SWP_NOZORDER);
    ::GetWindowRect(Window(), &r);
    EXPECT_EQ(r.right - r.left, 400);
    EXPECT_EQ(r.bottom - r.top, 160);
    ::SetWindowPos(Window(), nullptr, 0, 0, 3000, 900, SWP_NOMOVE | SWP_NOZORDER);
    ::GetWindowRect(Window(), &r);
    EXPECT_EQ(r.right - r.left, 1000);
    EXPECT_EQ(r.bottom - r.top, 220);
}

TEST_F(MainWindowTest, EnterRunsTheDefaultItemOnlyWhenItIsEnabled) {
    RecordingOperation& operation = Open(RunMode::Split);
    auto pressEnter = [&] {
        HWND focus = ::GetFocus();
        ASSERT_NE(focus, nullptr);
        ::PostMessageW(focus, WM_KEYDOWN, VK_RETURN, 1);
        ::PostMessageW(focus, WM_KEYUP, VK_RETURN, 0xC0000001);
        Pump(60);
    };
    gMainWindow.SetAction(kCommandSplit,
                          kActionRunGroup | kActionLabelInert); // Split greyed, label inert
    pressEnter();
    EXPECT_TRUE(operation.commands.empty());
    // The label of an inert button does nothing either.
    ::SendMessageW(Item(IDOK), BM_CLICK, 0, 0);
    Pump(60);
    EXPECT_TRUE(operation.commands.empty());

    gMainWindow.SetAction(kCommandSplit, kActionRunGroup | kActionSplitEnabled | kActionLabelRuns);
    pressEnter();
    EXPECT_EQ(operation.commands, std::vector<UINT>{kCommandSplit});
    ::SendMessageW(Item(IDOK), BM_CLICK, 0, 0);
    Pump(60);
    EXPECT_EQ(operation.commands, (std::vector<UINT>{kCommandSplit, kCommandSplit}));

    // Pause greyed as default, in SplitButtonMode::Normal: a click on the label still runs nothing.
    gMainWindow.SetAction(kCommandPause, kActionRunGroup);
    ::SendMessageW(Item(IDOK), BM_CLICK, 0, 0);
    Pump(60);
    EXPECT_EQ(operation.commands.size(), 2u);
}

TEST_F(MainWindowTest, CommandsOfTheMenuReachTheOperation) {
    RecordingOperation& operation = Open(RunMode::Join);
    for (UINT id = kCommandSplit; id <= kCommandFind; ++id)
        ::SendMessageW(Window(), WM_COMMAND, id, 0);
    ::SendMessageW(Window(), WM_COMMAND, 0xFFFF, 0);
    EXPECT_EQ(operation.commands, (std::vector<UINT>{kCommandSplit, kCommandPause, kCommandResume,
                                                     kCommandOpen, kCommandFind}));
}

TEST_F(MainWindowTest, StatusTextsAreShownAsGiven) {
    Open(RunMode::Split);
    gMainWindow.SetStatus(L"Processing %s...", L"file.bin");
    EXPECT_EQ(Status(), L"Processing file.bin...");
    // A finished text keeps its '%'.
    gMainWindow.SetStatusBar(L"C:\\100%s\\%d.bin");
    EXPECT_EQ(StatusBar(), L"C:\\100%s\\%d.bin");
    gMainWindow.SetStatusBarFormat(L"Click Split button to begin (%llu parts will be created).",
                                   3ull);
    EXPECT_EQ(StatusBar(), L"Click Split button to begin (3 parts will be created).");
    // The system's texts end in a line break, and some hold one inside: one line, no marks.
    gMainWindow.SetStatusBar(L"Error OnRead: #38 - End of file.\r\n");
    EXPECT_EQ(StatusBar(), L"Error OnRead: #38 - End of file.");
    gMainWindow.SetStatusBar(L"Error: #5 - Access\r\ndenied. \r\n\r\n");
    EXPECT_EQ(StatusBar(), L"Error: #5 - Access denied.");
    gMainWindow.SetStatusBar(L"");
    EXPECT_EQ(StatusBar(), L"");
}

TEST_F(MainWindowTest, TheWindowWorksWithoutAnOperation) {
    Open(RunMode::Split);
    gOperation.reset();
    ::SendMessageW(Window(), WM_COMMAND, kCommandSplit, 0);
    ::SetWindowTextW(Item(IDC_MAIN_SIZE), L"4");
    EXPECT_EQ(gMainWindow.GetPartSize(), 4ull << 20);
    gMainWindow.Repaint();
    ::UpdateWindow(Window());
    ::SendMessageW(Window(), WM_CLOSE, 0, 0); // not busy: leaves without asking
    Pump();
    EXPECT_EQ(TakeQuitCount(), 1);
}

TEST_F(MainWindowTest, ConfigurationOpensTheOptionsOverTheWindow) {
    Open(RunMode::Join);
    HWND owner = nullptr;
    bool enabledOwner = true;
    DialogWatcher watcher(kProgramCaption, Window(), [&](HWND dialog) {
        owner = ::GetWindow(dialog, GW_OWNER);
        enabledOwner = ::IsWindowEnabled(owner) != FALSE;
        for (const int id : {IDC_OPT_CLOSE_WINDOW, IDOK})
            ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    });
    ::PostMessageW(Window(), WM_COMMAND, kCommandConfiguration, 0);
    PumpDialog(Window(), [&] { return watcher.Done(); });
    ASSERT_TRUE(watcher.Found());
    EXPECT_EQ(owner, Window());
    EXPECT_FALSE(enabledOwner); // modal over the main window
    EXPECT_EQ(ReadDword(L"CloseWindow"), 1u);
    Pump();
    EXPECT_TRUE(::IsWindowEnabled(Window()));
    // Taken at the next end of an operation.
    ::PostMessageW(Window(), WM_OPERATION_ENDED, 0, 0);
    Pump();
    EXPECT_EQ(TakeQuitCount(), 1);
}
