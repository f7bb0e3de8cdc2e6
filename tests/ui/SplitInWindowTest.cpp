#include "MainWindowFixture.h"

#include "io/CompletionDispatcher.h"
#include "ops/Commands.h"
#include "support/SystemText.h"
#include "support/TestFiles.h"
#include "ui/ShellActions.h"

#include <regex>

using namespace ui_tests;
using namespace testing_support;

namespace {

// The real split operation in the real window, with the I/O engine running on this thread.
class SplitInWindowTest : public ShellWindowTest {
protected:
    TempDir dir{L"uisplit"};
};

} // namespace

TEST_F(SplitInWindowTest, APartSizeTypedAndTheButtonPressedSplitTheFile) {
    const std::wstring path = dir / L"file.bin";
    const std::vector<uint8_t> data = MakePattern(2621440 + 100, 3); // 2.5 MiB and a bit
    ASSERT_TRUE(WriteWholeFile(path, data));
    SplitOperation& split = StartSplit(path);

    EXPECT_EQ(Caption(), L"file.bin");
    EXPECT_EQ(Status(), L"Waiting user action.");
    EXPECT_EQ(StatusBar(), L"Pick Part-Size.");
    EXPECT_EQ(Label(), L"&Split");
    EXPECT_EQ(gMainWindow.ActionMode(), SplitButtonMode::LabelInert);

    // The edit has the focus; the unit starts at MB.
    ASSERT_EQ(::GetFocus(), Item(IDC_MAIN_SIZE));
    ::SendMessageW(::GetFocus(), WM_CHAR, L'1', 1);
    EXPECT_EQ(split.PartSize(), 1048576u);
    EXPECT_EQ(StatusBar(), L"Click Split button to begin (3 parts will be created).");
    EXPECT_EQ(gMainWindow.ActionMode(), SplitButtonMode::Normal);
    EXPECT_FALSE(Greyed(kCommandSplit));

    ::SendMessageW(Item(IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpDialog(
        Window(), [&] { return split.State() == OperationState::Done; }, 30000));
    Pump(50);

    EXPECT_EQ(Status(), L"file.bin splited !");
    EXPECT_EQ(StatusBar(), path);
    EXPECT_EQ(Caption(), L"file.bin");
    EXPECT_EQ(Label(), L"&Find");
    EXPECT_FALSE(Greyed(kCommandFind));
    EXPECT_TRUE(Greyed(kCommandSplit));
    EXPECT_FALSE(gMainWindow.IsPartSizePanelShown());
    EXPECT_EQ(TakeQuitCount(), 0); // CloseWindow is off
    EXPECT_EQ(selections, 0);      // SelectFiles is off

    EXPECT_TRUE(PartsHold(dir / L"file.bin", 3, data));
    EXPECT_EQ(FileSize(dir / L"file.bin.003"), 100 + 524288);
    EXPECT_FALSE(FileExists(dir / L"file.bin.004"));

    // Find, from the button, selects the parts.
    ::SendMessageW(Item(IDOK), BM_CLICK, 0, 0);
    Pump(50);
    EXPECT_EQ(selections, 1);
}

// "3 parts": two of the same size in whole sectors, the last with the rest; the count is stored,
// the last size chosen stays.
TEST_F(SplitInWindowTest, ANumberOfPartsChosenCutsTheFileIntoThatMany) {
    const std::wstring path = dir / L"file.bin";
    const std::vector<uint8_t> data = MakePattern(2621540, 5);
    ASSERT_TRUE(WriteWholeFile(path, data));
    SplitOperation& split = StartSplit(path);
    ::SendMessageW(Item(IDC_MAIN_UNIT), CB_SETCURSEL, 4, 0);
    ::SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(IDC_MAIN_UNIT, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(Item(IDC_MAIN_UNIT)));
    ::SetWindowTextW(Item(IDC_MAIN_SIZE), L"99999999");
    EXPECT_EQ(StatusBar(), L"file.bin is too small for 99999999 parts.");
    EXPECT_TRUE(Greyed(kCommandSplit));
    ::SetWindowTextW(Item(IDC_MAIN_SIZE), L"3");
    EXPECT_EQ(StatusBar(), L"Click Split button to begin (3 parts will be created).");
    EXPECT_EQ(ReadDword(L"PartCount"), 3u);
    EXPECT_FALSE(ValueExists(L"PartSize"));

    ::SendMessageW(Item(IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpDialog(
        Window(), [&] { return split.State() == OperationState::Done; }, 30000));
    EXPECT_TRUE(PartsHold(path, 3, data));
    for (unsigned i = 1; i <= 3; ++i)
        EXPECT_EQ(FileSize(PartName(path, i)), i < 3 ? 873984 : 873572) << i;
    EXPECT_FALSE(FileExists(PartName(path, 4)));
}

TEST_F(SplitInWindowTest, TheSecondPartTellsSpeedAndTimeLeftThenPausedThenTheTotals) {
    // Small buffers and one IoPair: a chunk at a time reaches the window.
    WriteDword(L"BufferSize", 131072);
    WriteDword(L"IoPairCount", 1);
    const std::wstring path = dir / L"film.avi";
    ASSERT_TRUE(WritePatternFile(path, 24u << 20, 9));
    const uint64_t partSize = 10u << 20;
    WriteBinary(L"PartSize", &partSize, 8);
    SplitOperation& split = StartSplit(path);
    const HWND bar = Item(IDC_MAIN_STATUSBAR);
    auto speed = [&] { return StatusBarText(bar, 1); };

    ::SendMessageW(Window(), WM_COMMAND, kCommandSplit, 0);
    ASSERT_EQ(split.State(), OperationState::Running);
    EXPECT_EQ(StatusBarPartCount(bar), 1); // nothing before the first second
    EXPECT_EQ(StatusBar(), path);

    // A size as the system writes it (digits with its separators, then a unit), per second.
    const std::wstring size = L"[0-9][0-9.,\u00a0 ]* [A-Za-z]+/s";
    const std::wregex running(size + L", [0-9]+:[0-5][0-9] left");
    // Once data moves, the caption carries the percentage as well; it stays until the end.
    const std::wregex percent(L"film\\.avi \\[[0-9]+ %\\]");
    auto moving = [&] { return !speed().empty() && std::regex_match(Caption(), percent); };
    ASSERT_TRUE(PumpDialog(
        Window(), [&] { return split.Progress() > 0 || split.State() != OperationState::Running; },
        30000));
    ASSERT_EQ(split.State(), OperationState::Running) << "ended before the first chunk showed";
    {
        // Data has moved; held here, the split waits out the first second however fast the
        // machine is, and the window tells its speed.
        CompletionDispatcher::DeliveryHold hold;
        ASSERT_TRUE(PumpDialog(Window(), moving, 30000));
    }
    EXPECT_TRUE(std::regex_match(speed(), running)) << Narrow(speed());
    EXPECT_EQ(StatusBar(), path);

    ::SendMessageW(Window(), WM_COMMAND, kCommandPause, 0);
    EXPECT_EQ(speed(), L"paused");
    Pump(300);
    EXPECT_EQ(speed(), L"paused");
    EXPECT_EQ(StatusBar(), path);

    ::SendMessageW(Window(), WM_COMMAND, kCommandResume, 0);
    ASSERT_TRUE(PumpDialog(
        Window(), [&] { return split.State() == OperationState::Done; }, 60000));
    Pump(50);
    const std::wregex ended(L"done in [0-9]+:[0-5][0-9] \\(\\+ [0-9]+:[0-5][0-9] paused\\), " +
                            size + L" average");
    EXPECT_TRUE(std::regex_match(speed(), ended)) << Narrow(speed());
    EXPECT_EQ(StatusBar(), path);
    EXPECT_EQ(Status(), L"film.avi splited !");
}

TEST_F(SplitInWindowTest, AnErrorShowsOnOneLineInTheStatusBar) {
    const std::wstring path = dir / L"data.bin";
    ASSERT_TRUE(WritePatternFile(path, 300000, 5));
    ASSERT_TRUE(WriteWholeFile(dir / L"data.bin.002", MakePattern(10)));
    const uint64_t partSize = 100 * 1024;
    WriteBinary(L"PartSize", &partSize, 8);
    SplitOperation& split = StartSplit(path);
    EXPECT_EQ(TextOf(Item(IDC_MAIN_SIZE)), L"100");
    EXPECT_EQ(StatusBar(), L"Click Split button to begin (3 parts will be created).");

    ::PostMessageW(Window(), WM_COMMAND, kCommandSplit, 0);
    ASSERT_TRUE(PumpDialog(
        Window(), [&] { return split.State() == OperationState::Failed; }, 30000));
    Pump(50);
    EXPECT_EQ(Status(), L"Error occurred !");
    EXPECT_EQ(StatusBar(), L"Error opening " + dir / L"data.bin.002" + L": #80 - " +
                               testing_support::SystemTextOnOneLine(80));
    EXPECT_EQ(Label(), L"E&xit");
    EXPECT_EQ(Caption(), L"data.bin");

    // Exit after an error leaves without asking.
    ::SendMessageW(Item(IDOK), BM_CLICK, 0, 0);
    Pump(50);
    EXPECT_EQ(TakeQuitCount(), 1);
}

TEST_F(SplitInWindowTest, AMissingFileIsReportedInTheWindow) {
    const std::wstring path = dir / L"gone.bin";
    StartSplit(path);
    EXPECT_EQ(Status(), L"Error occurred !");
    EXPECT_EQ(StatusBar(),
              L"Error opening " + path + L": #2 - " + testing_support::SystemTextOnOneLine(2));
    EXPECT_EQ(Label(), L"E&xit");
}

namespace {

// After a failure the part-size panel may still show; what is typed there must not wake the
// operation up again.
class ErrorStaysInWindowTest : public SplitInWindowTest {
protected:
    void TypeAPartSizeAndExpectTheErrorToStay(const std::wstring& errorText) {
        ASSERT_TRUE(gMainWindow.IsPartSizePanelShown());
        ASSERT_TRUE(::IsWindowVisible(Item(IDC_MAIN_SIZE)));
        ::SendMessageW(Item(IDC_MAIN_SIZE), EM_SETSEL, 0, -1);
        ::SendMessageW(Item(IDC_MAIN_SIZE), WM_CHAR, L'2', 1);
        ::SendMessageW(Item(IDC_MAIN_SIZE), WM_CHAR, L'0', 1);
        ::SendMessageW(Item(IDC_MAIN_UNIT), CB_SETCURSEL, 1, 0);
        ::SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(IDC_MAIN_UNIT, CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(Item(IDC_MAIN_UNIT)));
        Pump(50);
        EXPECT_EQ(TextOf(Item(IDC_MAIN_SIZE)), L"20");
        EXPECT_EQ(Status(), L"Error occurred !");
        EXPECT_EQ(StatusBar(), errorText);
        EXPECT_EQ(Label(), L"E&xit");
        EXPECT_EQ(DefaultItem(), kCommandExit);
        EXPECT_TRUE(Greyed(kCommandSplit));
        EXPECT_EQ(gOperation->State(), OperationState::Failed);
    }
};

} // namespace

TEST_F(ErrorStaysInWindowTest, AfterAFailedStart) {
    const std::wstring path = dir / L"absent.bin";
    StartSplit(path);
    ASSERT_EQ(Status(), L"Error occurred !");
    TypeAPartSizeAndExpectTheErrorToStay(L"Error opening " + path + L": #2 - " +
                                         testing_support::SystemTextOnOneLine(2));
}

TEST_F(ErrorStaysInWindowTest, AfterAFailedSplitCommand) {
    const std::wstring path = dir / L"held.bin";
    ASSERT_TRUE(WritePatternFile(path, 300000, 6));
    const uint64_t partSize = 100 * 1024;
    WriteBinary(L"PartSize", &partSize, 8);
    SplitOperation& split = StartSplit(path);
    ASSERT_EQ(split.State(), OperationState::Waiting);
    // Another program holds the source when Split is pressed.
    HANDLE other = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    ::SendMessageW(Item(IDOK), BM_CLICK, 0, 0);
    Pump(50);
    ::CloseHandle(other);
    ASSERT_EQ(split.State(), OperationState::Failed);
    TypeAPartSizeAndExpectTheErrorToStay(L"Error opening " + path + L": #32 - " +
                                         testing_support::SystemTextOnOneLine(32));
    EXPECT_FALSE(FileExists(dir / L"held.bin.001"));
}
