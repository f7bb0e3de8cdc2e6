#include "OpsTestSupport.h"
#include "support/SmallVolume.h"

#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"

#include <memory>

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

// The parts, or a join's output, follow the folder they go to: the FAT32 drive refuses what it
// can't hold before anything is written there, while the same sizes go from it to elsewhere.
TEST_F(Fat32Test, TheLimitFollowsTheOutputFolder) {
    const std::wstring elsewhere = dir.Path();
    const std::wstring fat = root.substr(0, root.size() - 1);
    struct Row {
        bool split;
        std::wstring from; // where the source or the parts lie
        std::wstring to;
        bool refused;
    };
    const Row rows[] = {
        {true, elsewhere, fat, true},
        {true, fat, elsewhere, false},
        {false, elsewhere, fat, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.split << " " << Narrow(row.to));
        EmptyFolder(root);
        const std::wstring whole = row.from + L"\\film.bin";
        RecordingDisplay shown;
        shown.partSize = kFat32Largest + 1;
        std::unique_ptr<Operation> operation;
        if (row.split) {
            ASSERT_TRUE(MakeSparseFile(whole, 5 * GiB));
            operation.reset(new SplitOperation(shown));
            operation->SetOutputFolder(Wide(row.to));
            operation->Start(Wide(whole));
            operation->OnCommand(kCommandSplit);
        } else {
            ASSERT_TRUE(MakeSparseFile(whole + L".001", 3 * GiB));
            ASSERT_TRUE(MakeSparseFile(whole + L".002", 2 * GiB));
            operation.reset(new JoinOperation(shown));
            operation->SetOutputFolder(Wide(row.to));
            operation->Start(Wide(whole + L".001"));
        }
        if (row.refused) {
            EXPECT_EQ(operation->State(), OperationState::Failed);
            EXPECT_EQ(operation->Outcome(), OperationOutcome::Refused);
            EXPECT_EQ(shown.statusBar.rfind(L"Error: FAT32 holds no file over 4294967295 bytes", 0),
                      0u)
                << Narrow(shown.statusBar);
        } else {
            EXPECT_TRUE(operation->IsBusy()) << Narrow(shown.statusBar);
        }
        operation->Abort();
        ::DeleteFileW(whole.c_str());
        ::DeleteFileW((whole + L".001").c_str());
        ::DeleteFileW((whole + L".002").c_str());
        EXPECT_EQ(FilesIn(root), std::vector<std::wstring>{});
        EXPECT_EQ(FilesIn(elsewhere + L"\\"), std::vector<std::wstring>{});
    }
}

} // namespace
} // namespace ops_tests
