#include "ConsoleRun.h"
#include "EndToEndSupport.h"
#include "support/SmallVolume.h"

using namespace testing_support;

namespace e2e {
namespace {

constexpr int kKilobytes = 1; // index of "KB" in the unit list
constexpr uint64_t kSize = 700000;
constexpr uint64_t kPart = 300 * KiB;

// The real programs writing to another drive letter than the one they read from: the small
// volume that scripts/with-small-volume.sh maps into Wine as T:, a volume of its own.
class OtherDriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        other = SmallVolumeRoot();
        if (other.empty())
            GTEST_SKIP() << "no second drive: run through scripts/with-small-volume.sh";
        RemoveSettingsKey();
        EmptyFolder(other);
        ASSERT_TRUE(::CreateDirectoryW((dir / L"joined here").c_str(), nullptr));
        data = MakePattern(kSize, 61);
        ASSERT_TRUE(WriteWholeFile(source, data));
    }
    void TearDown() override {
        RemoveSettingsKey();
        if (!other.empty())
            EmptyFolder(other);
    }

    // The parts on the other drive, with their list, and nothing new beside the source.
    void ExpectPartsThere() const {
        EXPECT_EQ(FilesIn(other),
                  (std::vector<std::wstring>{L"trip 1.avi.001", L"trip 1.avi.002",
                                             L"trip 1.avi.003", L"trip 1.avi.sha256"}));
        EXPECT_TRUE(PartsHold(other + L"trip 1.avi", 3, data));
        EXPECT_EQ(ReadText(other + L"trip 1.avi.sha256"),
                  ExpectedChecksumList(other + L"trip 1.avi", data, kPart));
        EXPECT_EQ(FilesIn(dir.Path() + L"\\"), std::vector<std::wstring>{L"trip 1.avi"});
    }
    // The joined file in its folder, the parts where they were.
    void ExpectJoined() const {
        EXPECT_TRUE(Holds(dir / L"joined here\\trip 1.avi", data));
        EXPECT_EQ(FilesIn(dir / L"joined here\\"), std::vector<std::wstring>{L"trip 1.avi"});
        EXPECT_TRUE(PartsHold(other + L"trip 1.avi", 3, data));
    }

    TempDir dir{L"drive"};
    std::wstring source = dir / L"trip 1.avi";
    std::wstring other;
    std::vector<uint8_t> data;
};

TEST_F(OtherDriveTest, TheWindowProgramSplitsToItAndJoinsFromIt) {
    {
        // Unquoted, the folder ends at the blank as the path does; what follows is not ours.
        MainWindowRun run(L" /s \"" + source + L"\" /to " + other + L" x");
        ASSERT_TRUE(run.Found());
        run.TypePartSize(L"300", kKilobytes);
        run.PressAction();
        ASSERT_EQ(run.WaitForStatus(L"trip 1.avi splited !"), L"trip 1.avi splited !");
        run.Choose(kCommandExit);
        EXPECT_EQ(run.Program().WaitForExit(10000), 0u);
    }
    ExpectPartsThere();
    MainWindowRun quoted(L" /j \"" + other + L"trip 1.avi.002\" /to \"" + (dir / L"joined here") +
                         L"\"");
    ASSERT_TRUE(quoted.Found());
    ASSERT_EQ(quoted.WaitForStatus(L"trip 1.avi joined !"), L"trip 1.avi joined !");
    EXPECT_EQ(quoted.StatusBar(), L"SHA-256 verified: " + (dir / L"joined here\\trip 1.avi"));
    quoted.Close();
    EXPECT_EQ(quoted.Program().WaitForExit(10000), 0u);
    ExpectJoined();
}

TEST_F(OtherDriveTest, TheConsoleProgramSplitsToItAndJoinsFromIt) {
    const ConsoleResult split = RunConsole(L"split --size 300K \"" + source + L"\" --to " + other);
    EXPECT_EQ(split.exitCode, 0u) << split.out << split.err;
    ExpectPartsThere();
    const ConsoleResult join = RunConsole(L"join \"" + other + L"trip 1.avi.001\" --to=\"" +
                                          (dir / L"joined here") + L"\"");
    EXPECT_EQ(join.exitCode, 0u) << join.out << join.err;
    ExpectJoined();
}

// A folder that is not there refuses the work in the window, before anything is made.
TEST_F(OtherDriveTest, AFolderThatIsNotThereIsRefused) {
    const std::wstring gone = other + L"gone";
    MainWindowRun run(L" /s \"" + source + L"\" /to " + gone);
    ASSERT_TRUE(run.Found());
    ASSERT_EQ(run.WaitForStatus(L"Error occurred !"), L"Error occurred !");
    EXPECT_EQ(run.StatusBar(), L"Error opening the folder " + gone + L": #2 - " +
                                   SystemTextOnOneLine(ERROR_FILE_NOT_FOUND));
    run.Close();
    EXPECT_EQ(run.Program().WaitForExit(10000), 4u);
    EXPECT_EQ(FilesIn(other), std::vector<std::wstring>{});
    EXPECT_EQ(FilesIn(dir.Path() + L"\\"), std::vector<std::wstring>{L"trip 1.avi"});
}

} // namespace
} // namespace e2e
