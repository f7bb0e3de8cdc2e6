#include "ConsoleRun.h"
#include "EndToEndSupport.h"
#include "app/Settings.h"
#include "support/FolderPicker.h"
#include "support/Par2TestSets.h"
#include "support/SmallVolume.h"
#include "ui/MainWindow.h"

using namespace testing_support;

namespace e2e {
namespace {

// The real program, its work sent to a folder picked in the real folder picker.
class FolderChoiceTest : public CleanSettingsTest {
protected:
    // The data in 1 MiB parts of whole, as a split leaves them.
    void WriteParts(const std::wstring& whole) {
        for (size_t at = 0; at < data.size(); at += MiB)
            ASSERT_TRUE(WriteWholeFile(
                PartName(whole, static_cast<unsigned>(at / MiB + 1)),
                {data.begin() + at, data.begin() + std::min<size_t>(at + MiB, data.size())}));
    }
    // Waits for the picker with this caption and picks the target folder in it, or cancels.
    void Answer(MainWindowRun& run, const std::wstring& caption, bool choose) {
        const HWND picker = run.Program().WaitForDialog(caption.c_str(), 15000);
        ASSERT_NE(picker, nullptr) << Narrow(caption);
        if (choose)
            ASSERT_TRUE(ChooseInFolderPicker(picker, target.Path()));
        else
            CancelFolderPicker(picker);
    }
    void ExpectExit(MainWindowRun& run, DWORD code) {
        run.Close();
        EXPECT_EQ(run.Program().WaitForExit(10000), code);
    }

    const std::vector<uint8_t> data = MakePattern(2 * MiB + 7, 3);
    TempDir source{L"from"};
    TempDir target{L"to"};
};

// Split to…, answered with a folder, then with Cancel, which leaves the split waiting for the
// plain Split that writes beside the file; the folder chosen is offered the next time.
TEST_F(FolderChoiceTest, SplitToSendsThePartsAndTheirListToTheChosenFolder) {
    const std::wstring whole = source / L"f.bin";
    ASSERT_TRUE(WriteWholeFile(whole, data));
    for (const bool choose : {true, false}) {
        SCOPED_TRACE(choose ? "chosen" : "cancelled");
        MainWindowRun run(L" /s \"" + whole + L"\"");
        ASSERT_TRUE(run.Found());
        run.TypePartSize(L"1", kMegabytes);
        run.Choose(MainWindow::kCommandSplitTo);
        Answer(run, L"Split f.bin to", choose);
        if (!choose) {
            ::Sleep(500);
            EXPECT_EQ(run.Status(), L"Waiting user action.");
            run.PressAction();
        }
        EXPECT_EQ(run.WaitForStatus(L"f.bin splited !"), L"f.bin splited !");
        const std::wstring parts = (choose ? target : source) / L"f.bin";
        EXPECT_TRUE(PartsHold(parts, 3, data));
        EXPECT_EQ(ReadText(parts + L".sha256"), ExpectedChecksumList(parts, data, MiB));
        EXPECT_EQ(run.StatusBar(), parts);
        ExpectExit(run, 0);
        EXPECT_EQ(FilesIn(source.Path() + L"\\").size(), choose ? 1u : 5u);
    }
    Settings stored;
    WideString offered;
    ASSERT_TRUE(stored.Open() && stored.ReadLastFolder(offered));
    EXPECT_EQ(offered.Text(), target.Path());
}

// A join refused for a file of its name beside the parts begins again in the chosen folder.
TEST_F(FolderChoiceTest, JoinToBeginsARefusedJoinAgainInTheChosenFolder) {
    const std::wstring whole = source / L"g.bin";
    WriteParts(whole);
    ASSERT_TRUE(WriteWholeFile(whole, MakePattern(100, 9)));
    MainWindowRun run(L" /j \"" + PartName(whole, 1) + L"\"");
    ASSERT_TRUE(run.Found());
    ASSERT_EQ(run.WaitForStatus(L"Error occurred !"), L"Error occurred !");
    run.Choose(MainWindow::kCommandJoinTo);
    Answer(run, L"Join g.bin to", true);
    EXPECT_EQ(run.WaitForStatus(L"g.bin joined !"), L"g.bin joined !");
    EXPECT_TRUE(Holds(target / L"g.bin", data));
    EXPECT_TRUE(Holds(whole, MakePattern(100, 9)));
    ExpectExit(run, 0);
}

// The parts on drive R:, which takes no files, as a disc; W: shows the same folder writable. The
// settings say to delete the parts.
class ReadOnlyPlaceTest : public FolderChoiceTest {
protected:
    void SetUp() override {
        FolderChoiceTest::SetUp();
        if (shown.empty())
            GTEST_SKIP() << "no read-only drive: run through scripts/with-small-volume.sh";
        EmptyFolder(writable);
        ASSERT_TRUE(WriteDword(L"DeleteFiles", 1));
    }
    void TearDown() override {
        if (!shown.empty())
            EmptyFolder(writable);
        FolderChoiceTest::TearDown();
    }
    const std::wstring shown = ReadOnlyRoot(), writable = ReadOnlySourceRoot();
};

// Parts on a drive that takes no files, as a disc: the window asks where the joined file goes and
// leaves the parts whatever the settings say; Cancel there ends it as cancelled.
TEST_F(ReadOnlyPlaceTest, AsksWhereTheJoinedFileGoes) {
    WriteParts(writable + L"r.bin");
    for (const bool choose : {true, false}) {
        SCOPED_TRACE(choose ? "chosen" : "cancelled");
        MainWindowRun run(L" /j \"" + PartName(shown + L"r.bin", 1) + L"\"");
        ASSERT_TRUE(run.Found());
        Answer(run, L"Nothing can be written beside the parts: join r.bin to", choose);
        if (choose) {
            EXPECT_EQ(run.WaitForStatus(L"r.bin joined !"), L"r.bin joined !");
            EXPECT_TRUE(Holds(target / L"r.bin", data));
            EXPECT_EQ(run.StatusBar(),
                      L"parts kept, their folder takes no changes; " + (target / L"r.bin"));
            ::DeleteFileW((target / L"r.bin").c_str());
        } else {
            EXPECT_EQ(run.WaitForStatus(L"Error occurred !"), L"Error occurred !");
            EXPECT_EQ(run.StatusBar().find(L"Error: nothing can be written in " + shown + L": #"),
                      0u);
        }
        ExpectExit(run, choose ? 0 : 6);
        EXPECT_EQ(FilesIn(writable).size(), 3u);
        EXPECT_EQ(FilesIn(target.Path() + L"\\").size(), 0u);
    }
    // The console program asks nobody: it refuses, and says why.
    const ConsoleResult console = RunConsole(L"join \"" + PartName(shown + L"r.bin", 1) + L"\"");
    EXPECT_EQ(console.exitCode, 4u);
    EXPECT_NE(console.out.find("nothing can be written in " + Narrow(shown)), std::string::npos)
        << console.out << console.err;
}

// A set to repair on a drive that takes no files, joined to a folder given on the command line:
// the rebuilt parts go to that folder and are named, and what lies on the drive stays as it was
// whatever the settings say.
TEST_F(ReadOnlyPlaceTest, RebuildsPartsInTheOutputFolder) {
    std::vector<SetFile> files;
    ASSERT_TRUE(MakeTwelvePartsToRepair(writable + L"t.bin", files));
    const std::vector<std::wstring> before = FilesIn(writable);
    std::vector<uint8_t> whole;
    for (const SetFile& file : files)
        whole.insert(whole.end(), file.data.begin(), file.data.end());
    for (const bool console : {false, true}) {
        SCOPED_TRACE(console ? "console" : "window");
        const std::wstring part = L"\"" + PartName(shown + L"t.bin", 1) + L"\"",
                           to = L" \"" + target.Path() + L"\"";
        if (console) {
            const ConsoleResult run = RunConsole(L"join " + part + L" --to" + to);
            EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
        } else {
            MainWindowRun run(L" /j " + part + L" /to" + to);
            ASSERT_TRUE(run.Found());
            EXPECT_EQ(run.WaitForStatus(L"t.bin joined !"), L"t.bin joined !");
            EXPECT_EQ(run.StatusBar(), L"t.bin.002 and 1 more rebuilt in " + target.Path() +
                                           L"; parts kept, their folder takes no changes; " +
                                           (target / L"t.bin"));
            ExpectExit(run, 0);
        }
        EXPECT_TRUE(Holds(target / L"t.bin", whole));
        for (const unsigned rebuilt : {2u, 3u})
            EXPECT_TRUE(Holds(PartName(target / L"t.bin", rebuilt), files[rebuilt - 1].data));
        EXPECT_EQ(FilesIn(target.Path() + L"\\").size(), 3u);
        EXPECT_EQ(FilesIn(writable), before);
        EmptyFolder(target.Path() + L"\\");
    }
}

} // namespace
} // namespace e2e
