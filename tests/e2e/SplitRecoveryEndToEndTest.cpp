#include "EndToEndSupport.h"

#include "support/MessageBoxProbe.h"
#include "support/SmallVolume.h"

#include "app/ProgramInfo.h"

using namespace testing_support;

namespace e2e {
namespace {

constexpr int kBytes = 0; // index of "Byte" in the unit list
// Splits with recovery data, each in a folder of its own, with the program as a person uses it.
class SplitRecoveryEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveSettingsKey();
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    }
    void TearDown() override { RemoveSettingsKey(); }

    TempDir dir{L"e2e"};
    const std::wstring folder = dir / L"split";
};

// A set left from an earlier split of the file would rebuild the new parts into the old file:
// a split without recovery data of its own is refused too, and makes nothing.
TEST_F(SplitRecoveryEndToEndTest, ALeftSetRefusesTheSplit) {
    const std::wstring source = folder + L"\\u.bin";
    ASSERT_TRUE(WritePatternFile(source, 3 * MiB + 11, 5));
    ASSERT_TRUE(WriteText(source + L".vol0+1.par2", "old set"));
    MainWindowRun run(L" /s " + source);
    ASSERT_TRUE(run.Found());
    run.TypePartSize(L"1", kMegabytes);
    run.PressAction();
    ASSERT_EQ(run.WaitForStatus(L"Error occurred !"), L"Error occurred !");
    EXPECT_EQ(run.StatusBar(),
              L"Error opening " + source + L".vol0+1.par2: #80 - " + SystemTextOnOneLine(80));
    run.Close();
    EXPECT_EQ(run.Program().WaitForExit(10000), 4u); // refused
    EXPECT_EQ(FilesIn(folder + L"\\"), (std::vector<std::wstring>{L"u.bin", L"u.bin.vol0+1.par2"}));
    EXPECT_EQ(ReadText(source + L".vol0+1.par2"), "old set");
}

// The largest part size the window takes, with recovery data: one part and its set, no crash.
TEST_F(SplitRecoveryEndToEndTest, TheLargestPartSizeWithRecoveryDataMakesOnePart) {
    WriteDword(L"RecoveryPercent", 10);
    const std::wstring source = folder + L"\\h.bin";
    const std::vector<uint8_t> original = MakePattern(MiB + 3, 6);
    ASSERT_TRUE(WriteWholeFile(source, original));
    MainWindowRun run(L" /s " + source);
    ASSERT_TRUE(run.Found());
    run.TypePartSize(L"18446744073709551615", kBytes);
    EXPECT_EQ(run.StatusBar(), L"Click Split button to begin (1 parts will be created).");
    run.PressAction();
    ASSERT_EQ(run.WaitForStatus(L"h.bin splited !"), L"h.bin splited !") << Narrow(run.StatusBar());
    run.Choose(kCommandExit);
    EXPECT_EQ(run.Program().WaitForExit(10000), 0u);
    EXPECT_TRUE(Holds(PartName(source, 1), original));
    EXPECT_EQ(FilesIn(folder + L"\\"),
              (std::vector<std::wstring>{L"h.bin", L"h.bin.001", L"h.bin.par2", L"h.bin.sha256",
                                         L"h.bin.vol0+1.par2"}));
}

// Closed while the recovery files are written: the list and the scripts go with the parts and
// the set, complete or not; the next split of the file is not refused.
TEST_F(SplitRecoveryEndToEndTest, ClosingWhileTheSetIsWrittenLeavesOnlyTheSource) {
    WriteDword(L"RecoveryPercent", 30);
    WriteDword(L"WriteChecksums", 1);
    WriteDword(L"WriteJoinScript", 1);
    const std::wstring source = folder + L"\\long.bin";
    // Two parts, the second of one byte: a slice's padding of 100 MiB to hash, and a block as
    // long to hash and write, take a while after the last byte is read.
    ASSERT_TRUE(MakeSparseFile(source, 100 * MiB + 1));
    MainWindowRun run(L" /s " + source);
    ASSERT_TRUE(run.Found());
    run.TypePartSize(L"100", kMegabytes);
    run.PressAction();
    // The volume is under way once its first bytes are written, and not complete: its block
    // alone is 100 MiB.
    const std::wstring volumePath = source + L".vol0+1.par2";
    const DWORD start = ::GetTickCount();
    while (FileSize(volumePath) <= 0 && ::GetTickCount() - start < 120000)
        ::Sleep(5);
    const int64_t volume = FileSize(volumePath);
    ASSERT_GT(volume, 0);
    ASSERT_LT(volume, int64_t(100 * MiB));
    run.Close();
    MessageBoxSeen seen = WatchForMessageBox(kProgramCaption, run.Program().Id(), 10000, IDYES);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, L"Do you really want to exit Brindlecot ?");
    EXPECT_EQ(run.Program().WaitForExit(30000), 6u); // cancelled
    EXPECT_EQ(FilesIn(folder + L"\\"), std::vector<std::wstring>{L"long.bin"});
    EXPECT_EQ(FileSize(source), int64_t(100 * MiB + 1));
}

} // namespace
} // namespace e2e
