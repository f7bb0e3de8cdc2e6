#include "OpsTestSupport.h"

#include "ops/JoinOperation.h"
#include "ops/OperationOutcome.h"
#include "support/SmallVolume.h"

#include <functional>

using namespace testing_support;

namespace ops_tests {
namespace {

TEST(OperationOutcome, TheCodeAndTheMomentTellTheClassOfAFailure) {
    constexpr auto Done = OperationOutcome::Done, Incomplete = OperationOutcome::Incomplete,
                   Damaged = OperationOutcome::Damaged, Refused = OperationOutcome::Refused,
                   IoError = OperationOutcome::IoError, Cancelled = OperationOutcome::Cancelled;
    const struct {
        DWORD code;
        OperationOutcome before, during; // the work not begun yet, under way
    } table[] = {
        {ERROR_CRC, Damaged, Damaged},
        {ERROR_INVALID_DATA, Damaged, Damaged},
        {ERROR_FILE_NOT_FOUND, Incomplete, Incomplete},
        {ERROR_PATH_NOT_FOUND, Incomplete, Incomplete},
        {ERROR_HANDLE_EOF, Incomplete, IoError},
        {ERROR_FILE_EXISTS, Refused, Refused},
        {ERROR_ALREADY_EXISTS, Refused, Refused},
        {ERROR_DISK_FULL, Refused, IoError},
        {ERROR_FILE_TOO_LARGE, Refused, IoError},
        {ERROR_FILE_INVALID, Damaged, IoError},
        {ERROR_ACCESS_DENIED, Refused, IoError},
        {ERROR_SHARING_VIOLATION, Refused, IoError},
        {ERROR_NOT_ENOUGH_MEMORY, Refused, IoError},
        {ERROR_OPERATION_ABORTED, Cancelled, Cancelled},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(ClassifyFailure(row.code, false), row.before);
        EXPECT_EQ(ClassifyFailure(row.code, true), row.during);
    }
    // The exit codes a script reads.
    EXPECT_EQ(ExitCodeOf(Done), 0);
    EXPECT_EQ(ExitCodeOf(OperationOutcome::BadCommandLine), 1);
    EXPECT_EQ(ExitCodeOf(Incomplete), 2);
    EXPECT_EQ(ExitCodeOf(Damaged), 3);
    EXPECT_EQ(ExitCodeOf(Refused), 4);
    EXPECT_EQ(ExitCodeOf(IoError), 5);
    EXPECT_EQ(ExitCodeOf(Cancelled), 6);
}

class OperationOutcomeTest : public OperationTest {
protected:
    // Runs the operation to its end and gives its outcome, then lets it go as at exit.
    OperationOutcome EndOf(Operation& operation) {
        EXPECT_TRUE(RunToEnd(operation));
        const OperationOutcome outcome = operation.Outcome();
        operation.Abort();
        return outcome;
    }
};

// Failures whose code alone would tell another class, each from real files.
TEST_F(OperationOutcomeTest, EachOperationEndsInTheClassOfItsCase) {
    const std::wstring whole = dir / L"x.bin";
    const struct {
        const char* what;
        std::function<void()> prepare;
        bool split;
        OperationOutcome outcome;
    } cases[] = {
        {"a split done", [&] { WritePatternFile(whole, 300000, 1); }, true, OperationOutcome::Done},
        // Its source is no part of a set: not there, the split is refused.
        {"a split of a file that is not there", [] {}, true, OperationOutcome::Refused},
        {"a join done",
         [&] {
             MakeParts(whole, {100000, 5000}, 2);
         },
         false, OperationOutcome::Done},
        {"a join without its first part", [] {}, false, OperationOutcome::Incomplete},
        {"a join with a part cut short",
         [&] {
             MakeParts(whole, {100000, 90000, 5000}, 3);
         },
         false, OperationOutcome::Incomplete},
        // The list of a split ended from outside marks the set stale, whatever the parts are.
        {"a join of the parts of an unfinished split",
         [&] {
             MakeParts(whole, {100000, 5000}, 4);
             WriteText(whole + L".sha256", std::string(64, '0') + " *x.bin\n");
         },
         false, OperationOutcome::Refused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EmptyFolder(dir.Path() + L"\\");
        c.prepare();
        RecordingDisplay shown;
        if (c.split) {
            shown.partSize = 65536;
            SplitOperation split(shown);
            StartSplit(split, whole);
            EXPECT_EQ(EndOf(split), c.outcome) << Narrow(shown.statusBar);
        } else {
            JoinOperation join(shown);
            join.Start(Wide(PartName(whole, 1)));
            EXPECT_EQ(EndOf(join), c.outcome) << Narrow(shown.statusBar);
        }
    }
}

// Until it ends, an operation left is cut short.
TEST_F(OperationOutcomeTest, ASplitLeftWhileWaitingIsCancelled) {
    const std::wstring source = dir / L"wait.bin";
    ASSERT_TRUE(WritePatternFile(source, 100000, 5));
    RecordingDisplay shown;
    SplitOperation split(shown);
    split.Start(Wide(source));
    ASSERT_EQ(split.State(), OperationState::Waiting);
    EXPECT_EQ(split.Outcome(), OperationOutcome::Cancelled);
    split.Abort();
}

} // namespace
} // namespace ops_tests
