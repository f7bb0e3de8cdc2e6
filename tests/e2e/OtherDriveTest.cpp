#include "ConsoleRun.h"
#include "EndToEndSupport.h"
#include "support/SmallVolume.h"

using namespace testing_support;

namespace e2e {
namespace {

// The real programs write to another drive letter than the one they read from: the small volume
// that scripts/with-small-volume.sh maps into Wine as T:, a volume of its own. Each program
// splits in one round and joins in the other.
TEST(OtherDriveTest, SplitToItAndJoinFromIt) {
    const std::wstring other = SmallVolumeRoot();
    if (other.empty())
        GTEST_SKIP() << "no second drive: run through scripts/with-small-volume.sh";
    RemoveSettingsKey();
    TempDir dir{L"drive"};
    const std::wstring source = dir / L"trip 1.avi", out = dir / L"joined here";
    const std::wstring parts = other + L"trip 1.avi";
    ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
    const std::vector<uint8_t> data = MakePattern(700000, 61);
    ASSERT_TRUE(WriteWholeFile(source, data));
    for (const bool window : {true, false}) {
        EmptyFolder(other);
        ::DeleteFileW((out + L"\\trip 1.avi").c_str());
        if (window) {
            // Unquoted, the folder ends at its blank.
            MainWindowRun run(L" /s \"" + source + L"\" /to " + other + L" x");
            ASSERT_TRUE(run.Found());
            run.TypePartSize(L"300", 1); // KB
            run.PressAction();
            ASSERT_EQ(run.WaitForStatus(L"trip 1.avi splited !"), L"trip 1.avi splited !");
            run.Choose(kCommandExit);
            EXPECT_EQ(run.Program().WaitForExit(10000), 0u);
        } else {
            EXPECT_EQ(RunConsole(L"split --size 300K \"" + source + L"\" --to " + other).exitCode,
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
    EmptyFolder(other);
    RemoveSettingsKey();
}

} // namespace
} // namespace e2e
