#include "EndToEndSupport.h"
#include "support/SmallVolume.h"

using namespace testing_support;

namespace e2e {
namespace {

constexpr int kGigabytes = 3; // index of "GB" in the unit list
constexpr uint64_t GiB = 1024 * MiB;

void ExpectRefused(MainWindowRun& run, uint64_t needed) {
    ASSERT_EQ(run.WaitForStatus(L"Error occurred !"), L"Error occurred !");
    const std::wstring system = SystemTextOnOneLine(ERROR_FILE_TOO_LARGE);
    EXPECT_EQ(run.StatusBar(), L"Error: FAT32 holds no file over 4294967295 bytes, and " +
                                   std::to_wstring(needed) + L" are needed: #223" +
                                   (system.empty() ? L"" : L" - " + system));
    run.Close();
    EXPECT_EQ(run.Program().WaitForExit(10000), 4u); // refused before any work
}

// The real program on the drive that Wine takes for a FAT32 volume (scripts/with-small-volume.sh
// offers it as F:), with sparse files: refused at the Split command and at the start of a join,
// before anything is created.
TEST(Fat32Test, PartsOrAnOutputOfFourGibibytesAreRefused) {
    const std::wstring root = Fat32Root();
    if (root.empty())
        GTEST_SKIP() << "no FAT32 drive: run through scripts/with-small-volume.sh";
    EmptyFolder(root);
    RemoveSettingsKey();
    const std::wstring whole = root + L"film.bin";
    ASSERT_TRUE(MakeSparseFile(whole, 5 * GiB));
    {
        MainWindowRun run(L" /s \"" + whole + L"\"");
        ASSERT_TRUE(run.Found());
        run.TypePartSize(L"4", kGigabytes);
        run.PressAction();
        ExpectRefused(run, 4 * GiB);
    }
    EXPECT_EQ(FilesIn(root), std::vector<std::wstring>{L"film.bin"});

    ASSERT_TRUE(::DeleteFileW(whole.c_str()));
    ASSERT_TRUE(MakeSparseFile(PartName(whole, 1), 4 * GiB));
    ASSERT_TRUE(MakeSparseFile(PartName(whole, 2), GiB));
    {
        MainWindowRun run(L" /j \"" + PartName(whole, 1) + L"\"");
        ASSERT_TRUE(run.Found());
        ExpectRefused(run, 5 * GiB);
    }
    EXPECT_EQ(FilesIn(root), (std::vector<std::wstring>{L"film.bin.001", L"film.bin.002"}));
    EmptyFolder(root);
}

} // namespace
} // namespace e2e
