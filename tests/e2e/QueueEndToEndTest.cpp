#include "EndToEndSupport.h"

#include <string>
#include <vector>

using namespace testing_support;

namespace e2e {
namespace {

class QueueEndToEndTest : public CleanSettingsTest {
protected:
    TempDir dir{L"queue"};
};

// Explorer's multi-selection as it arrives: a launch for each file. The later launches hand
// their files to the first one's window and end at once, with 0; the window runs them in turn,
// a failure does not stop the rest, and its exit code is the failure's.
TEST_F(QueueEndToEndTest, LaterLaunchesEndInTheFirstWindowThatRunsThemAll) {
    const std::wstring source = dir / L"big.bin", taken = dir / L"taken.bin";
    const std::wstring set = dir / L"good.bin";
    const std::vector<uint8_t> data = MakePattern(2 * MiB + 5, 3), joined = MakePattern(MiB, 4);
    const std::vector<uint8_t> before = MakePattern(1000, 5);
    ASSERT_TRUE(WriteWholeFile(source, data));
    ASSERT_TRUE(WriteWholeFile(taken, before));
    ASSERT_TRUE(WriteWholeFile(PartName(taken, 1), before));
    ASSERT_TRUE(WriteWholeFile(PartName(set, 1), {joined.begin(), joined.begin() + 700000}));
    ASSERT_TRUE(WriteWholeFile(PartName(set, 2), {joined.begin() + 700000, joined.end()}));

    MainWindowRun run(L" /s \"" + source + L"\"");
    ASSERT_TRUE(run.Found());
    for (const std::wstring& first : {PartName(taken, 1), PartName(set, 1)}) {
        RunningProgram later(L" /j \"" + first + L"\"");
        ASSERT_TRUE(later.Started());
        EXPECT_EQ(later.WaitForExit(30000), 0u);
    }
    // The joins wait for the split, which waits for its part size.
    EXPECT_EQ(run.Status(), L"Waiting user action.");
    EXPECT_EQ(::SendDlgItemMessageW(run.Window(), IDC_MAIN_QUEUE, LB_GETCOUNT, 0, 0), 3);
    run.TypePartSize(L"1", kMegabytes);
    run.PressAction();
    const std::wstring summary = L"2 of 3 files done. Not done: taken.bin.001";
    ASSERT_EQ(run.WaitForStatus(summary), summary);
    run.Close();
    EXPECT_EQ(run.Program().WaitForExit(10000), 4u); // refused: the output exists

    EXPECT_TRUE(PartsHold(source, 3, data));
    EXPECT_TRUE(Holds(taken, before));
    EXPECT_TRUE(Holds(set, joined));
}

} // namespace
} // namespace e2e
