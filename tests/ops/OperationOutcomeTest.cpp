#include "OpsTestSupport.h"

#include "ops/JoinOperation.h"
#include "ops/OperationOutcome.h"

using namespace testing_support;

namespace ops_tests {
namespace {

TEST(OperationOutcome, TheCodeAndTheMomentTellTheClassOfAFailure) {
    using O = OperationOutcome;
    const struct {
        DWORD code;
        O before, during; // the work not begun yet, under way
    } table[] = {
        {ERROR_CRC, O::Damaged, O::Damaged},
        {ERROR_INVALID_DATA, O::Damaged, O::Damaged},
        {ERROR_FILE_NOT_FOUND, O::Incomplete, O::Incomplete},
        {ERROR_HANDLE_EOF, O::Incomplete, O::IoError},
        {ERROR_FILE_INVALID, O::Damaged, O::IoError},
        {ERROR_FILE_EXISTS, O::Refused, O::Refused},
        {ERROR_DISK_FULL, O::Refused, O::IoError},
        {ERROR_SHARING_VIOLATION, O::Refused, O::IoError},
        {ERROR_OPERATION_ABORTED, O::Cancelled, O::Cancelled},
    };
    for (const auto& row : table) {
        EXPECT_EQ(ClassifyFailure(row.code, false), row.before) << row.code;
        EXPECT_EQ(ClassifyFailure(row.code, true), row.during) << row.code;
    }
}

class OperationOutcomeTest : public OperationTest {};

// Where the code alone would say "missing" (2), each from real files: the split's source is no
// part of a set, and a set whose split did not finish is stale.
TEST_F(OperationOutcomeTest, ARefusalIsARefusalWhateverItsCode) {
    const std::wstring whole = dir / L"x.bin";
    RecordingDisplay shown;
    shown.partSize = 65536;
    SplitOperation split(shown);
    StartSplit(split, whole);
    EXPECT_EQ(split.Outcome(), OperationOutcome::Refused) << Narrow(shown.statusBar);

    MakeParts(whole, {100000, 5000}, 4);
    ASSERT_TRUE(WriteText(whole + L".sha256", std::string(64, '0') + " *x.bin\n"));
    JoinOperation join(shown);
    join.Start(Wide(PartName(whole, 1)));
    ASSERT_TRUE(RunToEnd(join));
    EXPECT_EQ(join.Outcome(), OperationOutcome::Refused) << Narrow(shown.statusBar);
    join.Abort();
}

} // namespace
} // namespace ops_tests
