#include "OpsTestSupport.h"

#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"

#include <cstdio>

using namespace testing_support;

namespace ops_tests {
namespace {

// Runs on a small real volume (scripts/with-small-volume.sh mounts one as T:).
class DiskFullTest : public OperationTest {
protected:
    void SetUp() override {
        OperationTest::SetUp();
        wchar_t drive[8] = {};
        if (!GetEnvironmentVariableW(L"BRINDLECOT_SMALL_DRIVE", drive, 8))
            GTEST_SKIP() << "no small volume: run through scripts/with-small-volume.sh";
        root_ = std::wstring(drive) + L"\\";
        // The volume is shared by the cases of this run: each starts on an empty one.
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((root_ + L"*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileW((root_ + found.cFileName).c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        ULARGE_INTEGER available;
        ASSERT_TRUE(GetDiskFreeSpaceExW(root_.c_str(), &available, nullptr, nullptr));
        free_ = available.QuadPart;
        ASSERT_GT(free_, 1024 * KiB);
    }
    std::wstring root_;
    uint64_t free_ = 0;
};

TEST_F(DiskFullTest, ASplitThatFillsTheDiskFailsAndSaysSo) {
    SetTuning(128 * KiB, 4);
    const std::wstring source = root_ + L"full.bin";
    // The source takes more than half of what is free, so its parts cannot all fit.
    const uint64_t size = (free_ * 2 / 3) / 4096 * 4096;
    ASSERT_TRUE(WritePatternFile(source, size, 21));
    RecordingDisplay shown;
    shown.partSize = 256 * KiB;
    SplitOperation split(shown);
    split.Start(Wide(source));
    ASSERT_EQ(split.State(), Waiting) << Narrow(shown.statusBar);
    split.OnCommand(kCommandSplit);
    ASSERT_TRUE(RunToEnd(split));
    EXPECT_EQ(split.State(), Failed);
    EXPECT_EQ(shown.status, L"Error occurred !");
    // A write the disk refuses comes back as a completion carrying the error: BeginWrite
    // fails only when the call cannot be handed to the I/O thread at all.
    EXPECT_EQ(shown.statusBar, ErrorText(L"Error OnWrite", ERROR_DISK_FULL));
    EXPECT_EQ(shown.endedMessages, 0);
    split.Abort();
    // What was written stays after a failure; the source is untouched.
    EXPECT_TRUE(FileExists(source + L".001"));
    EXPECT_EQ(FileSize(source), int64_t(size));
}

TEST_F(DiskFullTest, AJoinThatFillsTheDiskFailsAndKeepsTheParts) {
    SetTuning(128 * KiB, 2);
    SetSwitch(L"DeleteFiles", 1);
    const std::wstring whole = root_ + L"whole.bin";
    const uint64_t partSize = (free_ * 2 / 3 / 2) / 4096 * 4096;
    ASSERT_TRUE(WritePatternFile(whole + L".001", partSize, 22));
    ASSERT_TRUE(WritePatternFile(whole + L".002", partSize, 23));
    RecordingDisplay shown;
    JoinOperation join(shown);
    join.Start(Wide(whole + L".001"));
    ASSERT_TRUE(RunToEnd(join));
    EXPECT_EQ(join.State(), Failed);
    // A write the disk refuses comes back as a completion carrying the error: BeginWrite
    // fails only when the call cannot be handed to the I/O thread at all.
    EXPECT_EQ(shown.statusBar, ErrorText(L"Error OnWrite", ERROR_DISK_FULL));
    join.Abort();
    EXPECT_EQ(FileSize(whole + L".001"), int64_t(partSize));
    EXPECT_EQ(FileSize(whole + L".002"), int64_t(partSize));
}

} // namespace
} // namespace ops_tests
