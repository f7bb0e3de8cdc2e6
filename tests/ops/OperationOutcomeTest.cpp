#include "OpsTestSupport.h"

#include "ops/JoinOperation.h"
#include "ops/OperationOutcome.h"

using namespace testing_support;

namespace ops_tests {
namespace {

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
