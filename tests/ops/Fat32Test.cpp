#include "OpsTestSupport.h"
#include "support/SmallVolume.h"

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

    std::wstring root;
};

// Parts of FAT32's largest size go (one byte more is refused, through the real program: see
// tests/e2e/Fat32Test.cpp).
TEST_F(Fat32Test, PartsOfTheLargestSizeGo) {
    const std::wstring source = root + L"film.bin";
    ASSERT_TRUE(MakeSparseFile(source, 5 * GiB));
    RecordingDisplay shown;
    shown.partSize = kFat32Largest;
    SplitOperation split(shown);
    split.Start(Wide(source));
    split.OnCommand(kCommandSplit);
    EXPECT_TRUE(split.IsBusy()) << Narrow(shown.statusBar);
    split.Abort();
    EXPECT_EQ(FilesIn(root), std::vector<std::wstring>{L"film.bin"});
}

} // namespace
} // namespace ops_tests
