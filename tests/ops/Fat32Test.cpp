#include "OpsTestSupport.h"
#include "support/SmallVolume.h"

#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"

using namespace testing_support;

namespace ops_tests {
namespace {

constexpr uint64_t GiB = 1024 * MiB;
constexpr uint64_t kFat32Largest = 4294967295u;

// On the drive that Wine takes for a FAT32 volume (scripts/with-small-volume.sh offers it as F:).
// The files are sparse: nothing here writes gigabytes.
class Fat32Test : public OperationTest {
protected:
    void SetUp() override {
        OperationTest::SetUp();
        root = Fat32Root();
        if (root.empty())
            GTEST_SKIP() << "no FAT32 drive: run through scripts/with-small-volume.sh";
        EmptyFolder(root);
    }
    void TearDown() override {
        if (!root.empty())
            EmptyFolder(root);
        OperationTest::TearDown();
    }

    std::wstring TooLarge(uint64_t needed) const {
        return ErrorText(L"Error: FAT32 holds no file over 4294967295 bytes, and " +
                             std::to_wstring(needed) + L" are needed",
                         ERROR_FILE_TOO_LARGE);
    }

    std::wstring root;
};

// Parts of FAT32's largest size go; one byte more is refused before any part is made.
TEST_F(Fat32Test, ASplitIsRefusedWhenAPartWouldPassTheLimit) {
    const std::wstring source = root + L"film.bin";
    ASSERT_TRUE(MakeSparseFile(source, 5 * GiB));
    for (const uint64_t partSize : {kFat32Largest + 1, kFat32Largest}) {
        SCOPED_TRACE(partSize);
        RecordingDisplay shown;
        shown.partSize = partSize;
        SplitOperation split(shown);
        split.Start(Wide(source));
        split.OnCommand(kCommandSplit);
        if (partSize > kFat32Largest) {
            EXPECT_EQ(split.State(), OperationState::Failed);
            EXPECT_EQ(shown.statusBar, TooLarge(partSize));
            EXPECT_EQ(FilesIn(root), std::vector<std::wstring>{L"film.bin"});
        } else {
            EXPECT_TRUE(split.IsBusy()) << Narrow(shown.statusBar);
        }
        split.Abort();
    }
    EXPECT_EQ(FilesIn(root), std::vector<std::wstring>{L"film.bin"});
}

TEST_F(Fat32Test, AJoinIsRefusedWhenItsOutputWouldPassTheLimit) {
    const std::wstring whole = root + L"film.bin";
    ASSERT_TRUE(MakeSparseFile(PartName(whole, 1), 3 * GiB));
    ASSERT_TRUE(MakeSparseFile(PartName(whole, 2), 3 * GiB));
    RecordingDisplay shown;
    JoinOperation join(shown);
    join.Start(Wide(PartName(whole, 1)));
    EXPECT_EQ(join.State(), OperationState::Failed);
    EXPECT_EQ(shown.statusBar, TooLarge(6 * GiB));
    join.Abort();
    EXPECT_EQ(FilesIn(root), (std::vector<std::wstring>{L"film.bin.001", L"film.bin.002"}));
}

} // namespace
} // namespace ops_tests
