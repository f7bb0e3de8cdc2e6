#include "EndToEndSupport.h"
#include "support/FolderPicker.h"
#include "support/SmallVolume.h"
#include "ui/MainWindow.h"

using namespace testing_support;

namespace e2e {
namespace {

constexpr int kMegabytes = 2; // index of "MB" in the unit list

// The stored folder the picker offers next time, as the registry holds it.
std::wstring LastFolder() {
    const std::vector<uint8_t> bytes = ReadValue(L"LastFolder");
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    return text.substr(0, text.find(L'\0'));
}

// The data cut into 1 MiB parts in the folder, as a split leaves them.
void WriteParts(const std::wstring& whole, const std::vector<uint8_t>& data) {
    for (size_t at = 0, n = 1; at < data.size(); at += MiB, ++n) {
        const size_t size = std::min<size_t>(MiB, data.size() - at);
        ASSERT_TRUE(
            WriteWholeFile(PartName(whole, static_cast<unsigned>(n)),
                           std::vector<uint8_t>(data.begin() + at, data.begin() + at + size)));
    }
}

// The real program, its work sent to a folder picked in the real folder picker.
class FolderChoiceTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveSettingsKey(); }
    void TearDown() override { RemoveSettingsKey(); }

    // Waits for the picker with this caption and picks the target folder in it, or cancels.
    void Answer(MainWindowRun& run, const std::wstring& caption, bool choose) {
        const HWND picker = run.Program().WaitForDialog(caption.c_str(), 15000);
        ASSERT_NE(picker, nullptr) << "no folder picker " << Narrow(caption);
        if (choose)
            ASSERT_TRUE(ChooseInFolderPicker(picker, target.Path()));
        else
            CancelFolderPicker(picker);
    }

    const std::vector<uint8_t> data = MakePattern(2 * MiB + 7, 3);
    TempDir source{L"from"};
    TempDir target{L"to"};
};

// Split to…, answered with a folder, and then with Cancel, which leaves the split waiting for
// the plain Split that puts the parts beside the file.
TEST_F(FolderChoiceTest, SplitToSendsThePartsAndTheirListToTheChosenFolder) {
    const std::wstring whole = source / L"f.bin";
    for (const bool choose : {true, false}) {
        SCOPED_TRACE(choose ? "chosen" : "cancelled");
        ASSERT_TRUE(WriteWholeFile(whole, data));
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
        const std::wstring& folder = choose ? target.Path() : source.Path();
        EXPECT_TRUE(PartsHold(folder + L"\\f.bin", 3, data));
        EXPECT_EQ(ReadText(folder + L"\\f.bin.sha256"),
                  ExpectedChecksumList(folder + L"\\f.bin", data, MiB));
        EXPECT_EQ(run.StatusBar(), folder + L"\\f.bin");
        EXPECT_EQ(LastFolder(), target.Path());
        run.Close();
        EXPECT_EQ(run.Program().WaitForExit(10000), 0u);
        if (choose) {
            EXPECT_EQ(FilesIn(source.Path() + L"\\"), std::vector<std::wstring>{L"f.bin"});
        }
    }
}

// A join refused for a file of its name beside the parts begins again, through Join to…, in the
// chosen folder.
TEST_F(FolderChoiceTest, JoinToBeginsARefusedJoinAgainInTheChosenFolder) {
    const std::wstring whole = source / L"g.bin";
    WriteParts(whole, data);
    const std::vector<uint8_t> other = MakePattern(100, 9);
    ASSERT_TRUE(WriteWholeFile(whole, other));
    MainWindowRun run(L" /j \"" + PartName(whole, 1) + L"\"");
    ASSERT_TRUE(run.Found());
    ASSERT_EQ(run.WaitForStatus(L"Error occurred !"), L"Error occurred !");
    run.Choose(MainWindow::kCommandJoinTo);
    Answer(run, L"Join g.bin to", true);
    EXPECT_EQ(run.WaitForStatus(L"g.bin joined !"), L"g.bin joined !");
    EXPECT_TRUE(Holds(target / L"g.bin", data));
    EXPECT_TRUE(Holds(whole, other));
    run.Close();
    EXPECT_EQ(run.Program().WaitForExit(10000), 0u);
}

// Parts on a drive that takes no files, as a disc: the join asks where the file should go,
// leaves the parts where they are whatever the settings say, and ends as cancelled when the
// question is.
TEST_F(FolderChoiceTest, ReadOnlyPlaceAsksWhereTheJoinedFileGoes) {
    const std::wstring shown = ReadOnlyRoot();
    if (shown.empty())
        GTEST_SKIP() << "no read-only drive: run through scripts/with-small-volume.sh";
    const std::wstring writable = ReadOnlySourceRoot();
    EmptyFolder(writable);
    WriteParts(writable + L"r.bin", data);
    ASSERT_TRUE(WriteDword(L"DeleteFiles", 1));
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
        } else {
            EXPECT_EQ(run.WaitForStatus(L"Error occurred !"), L"Error occurred !");
            EXPECT_EQ(run.StatusBar().find(L"Error: nothing can be written in " + shown + L": #"),
                      0u)
                << Narrow(run.StatusBar());
        }
        run.Close();
        EXPECT_EQ(run.Program().WaitForExit(10000), choose ? 0u : 6u);
        EXPECT_EQ(FilesIn(writable),
                  (std::vector<std::wstring>{L"r.bin.001", L"r.bin.002", L"r.bin.003"}));
        ::DeleteFileW((target / L"r.bin").c_str());
    }
    EmptyFolder(writable);
}

} // namespace
} // namespace e2e
