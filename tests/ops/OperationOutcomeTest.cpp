#include "OpsTestSupport.h"

#include "ops/JoinOperation.h"
#include "ops/OperationOutcome.h"

using namespace testing_support;

namespace ops_tests {
namespace {

class OperationOutcomeTest : public OperationTest {};

// A set whose split did not finish is stale: refused, where the error's code alone would say
// "missing" (2). (So is a split's source that is not there: the console program's cases.)
TEST_F(OperationOutcomeTest, AStaleSetIsRefused) {
    const std::wstring whole = dir / L"x.bin";
    RecordingDisplay shown;
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
