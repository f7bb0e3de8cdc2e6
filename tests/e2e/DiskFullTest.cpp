#include "ConsoleRun.h"
#include "EndToEndSupport.h"
#include "support/Par2TestSets.h"
#include "support/SmallVolume.h"

using namespace testing_support;

namespace e2e {
namespace {

constexpr int kKilobytes = 1; // index of "KB" in the unit list

// The real program on a small real volume (scripts/with-small-volume.sh mounts one as T:): work
// that cannot fit is refused before anything is created.
class DiskFullTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = SmallVolumeRoot();
        if (root.empty())
            GTEST_SKIP() << "no small volume: run through scripts/with-small-volume.sh";
        RemoveSettingsKey();
        EmptyFolder(root);
    }
    void TearDown() override {
        RemoveSettingsKey();
        if (!root.empty())
            EmptyFolder(root);
    }

    // The error the window shows for work of this many bytes that does not fit.
    static void ExpectRefused(MainWindowRun& run) {
        ASSERT_EQ(run.WaitForStatus(L"Error occurred !"), L"Error occurred !");
        const std::wstring text = run.StatusBar();
        EXPECT_EQ(text.rfind(L"Error CheckFreeSpace (", 0), 0u) << Narrow(text);
        EXPECT_NE(text.find(L" needed, "), std::wstring::npos) << Narrow(text);
        const std::wstring tail = L" free): #112 - " + SystemTextOnOneLine(ERROR_DISK_FULL);
        ASSERT_GE(text.size(), tail.size());
        EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << Narrow(text);
        run.Close();                                     // no question after an error
        EXPECT_EQ(run.Program().WaitForExit(10000), 4u); // refused before any work
    }

    std::wstring root;
};

TEST_F(DiskFullTest, ASplitThatCannotFitCreatesNothing) {
    // The source takes two thirds of what is free: its parts would need the rest twice over.
    const std::wstring source = root + L"large.bin";
    const uint64_t size = AvailableOn(root) * 2 / 3 / 4096 * 4096;
    ASSERT_TRUE(WritePatternFile(source, size, 5));

    MainWindowRun run(L" /s \"" + source + L"\"");
    ASSERT_TRUE(run.Found());
    run.TypePartSize(L"512", kKilobytes);
    run.PressAction();
    ExpectRefused(run);
    EXPECT_FALSE(FileExists(PartName(source, 1)));
    EXPECT_FALSE(FileExists(source + L".sha256"));
    EXPECT_EQ(FileSize(source), int64_t(size));
}

TEST_F(DiskFullTest, AJoinThatCannotFitCreatesNothingAndKeepsTheParts) {
    WriteDword(L"DeleteFiles", 1); // the parts would go only after the whole file is written
    const std::wstring whole = root + L"joined.bin";
    const uint64_t part = AvailableOn(root) / 3 / 4096 * 4096;
    ASSERT_TRUE(WritePatternFile(PartName(whole, 1), part, 6));
    ASSERT_TRUE(WritePatternFile(PartName(whole, 2), part, 7));

    MainWindowRun run(L" /j \"" + PartName(whole, 1) + L"\"");
    ASSERT_TRUE(run.Found());
    ExpectRefused(run);
    EXPECT_FALSE(FileExists(whole));
    EXPECT_EQ(FileSize(PartName(whole, 1)), int64_t(part));
    EXPECT_EQ(FileSize(PartName(whole, 2)), int64_t(part));
}

// A recovery set beside the parts starts a check of them first; the join that would not fit is
// refused all the same, before the check reads any part.
TEST_F(DiskFullTest, AJoinWithARecoverySetThatCannotFitIsRefused) {
    const std::wstring whole = root + L"set.bin";
    const size_t part = static_cast<size_t>(AvailableOn(root) / 3 / 4096 * 4096);
    const std::vector<SetFile> parts = {{L"set.bin.001", MakePattern(part, 8)},
                                        {L"set.bin.002", MakePattern(part, 9)}};
    ASSERT_TRUE(MakeRecoverySet(whole, parts, 4096, 1));
    for (unsigned i = 1; i <= 2; ++i)
        ASSERT_TRUE(WriteWholeFile(PartName(whole, i), parts[i - 1].data));

    MainWindowRun run(L" /j \"" + PartName(whole, 1) + L"\"");
    ASSERT_TRUE(run.Found());
    ExpectRefused(run);
    EXPECT_FALSE(FileExists(whole));
}

// Another drive letter than the source's, a volume of its own: each program splits to it in one
// round and joins from it to a folder elsewhere in the other.
TEST_F(DiskFullTest, TheProgramsSplitToThisDriveAndJoinFromIt) {
    TempDir dir{L"drive"};
    const std::wstring source = dir / L"trip 1.avi", out = dir / L"joined here";
    const std::wstring parts = root + L"trip 1.avi";
    ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
    const std::vector<uint8_t> data = MakePattern(700000, 61);
    ASSERT_TRUE(WriteWholeFile(source, data));
    for (const bool window : {true, false}) {
        EmptyFolder(root);
        ::DeleteFileW((out + L"\\trip 1.avi").c_str());
        if (window) {
            // Unquoted, the folder ends at its blank.
            MainWindowRun run(L" /s \"" + source + L"\" /to " + root + L" x");
            ASSERT_TRUE(run.Found());
            run.TypePartSize(L"300", kKilobytes);
            run.PressAction();
            ASSERT_EQ(run.WaitForStatus(L"trip 1.avi splited !"), L"trip 1.avi splited !");
            run.Choose(kCommandExit);
            EXPECT_EQ(run.Program().WaitForExit(10000), 0u);
        } else {
            EXPECT_EQ(RunConsole(L"split --size 300K \"" + source + L"\" --to " + root).exitCode,
                      0u);
        }
        EXPECT_TRUE(PartsHold(parts, 3, data));
        EXPECT_EQ(ReadText(parts + L".sha256"), ExpectedChecksumList(parts, data, 300 * KiB));
        EXPECT_EQ(FilesIn(dir.Path() + L"\\"), std::vector<std::wstring>{L"trip 1.avi"});
        if (window) {
            EXPECT_EQ(RunConsole(L"join \"" + parts + L".002\" --to=\"" + out + L"\"").exitCode,
                      0u);
        } else {
            MainWindowRun run(L" /j \"" + parts + L".002\" /to \"" + out + L"\"");
            ASSERT_TRUE(run.Found());
            ASSERT_EQ(run.WaitForStatus(L"trip 1.avi joined !"), L"trip 1.avi joined !");
            run.Close();
            EXPECT_EQ(run.Program().WaitForExit(10000), 0u);
        }
        EXPECT_TRUE(Holds(out + L"\\trip 1.avi", data));
        EXPECT_TRUE(PartsHold(parts, 3, data));
    }
}

} // namespace
} // namespace e2e
