#include "EndToEndSupport.h"

#include <string>
#include <vector>

using namespace testing_support;

// Several files in one window: later launches hand their work to the first one's window, one
// operation runs at a time and a failure does not stop the rest. All through the real program;
// a drop needs a block of the window's own process, so it is tested in the window's tests.

namespace e2e {
namespace {

constexpr int kMegabytes = 2; // index of "MB" in the unit list
constexpr int kQueueList = IDC_MAIN_QUEUE;

// A split source or a set of parts to join, with the bytes it must come to.
struct Sample {
    std::wstring whole;
    std::vector<uint8_t> data;
};

class QueueEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveSettingsKey(); }
    void TearDown() override { RemoveSettingsKey(); }

    // A file of a little over size bytes to split.
    Sample Source(const wchar_t* name, uint64_t size, uint32_t seed) {
        Sample sample{dir / name, MakePattern(size, seed)};
        EXPECT_TRUE(WriteWholeFile(sample.whole, sample.data));
        return sample;
    }
    // Three parts of 1 MiB, 1 MiB and a bit, to join into whole.
    Sample Parts(const wchar_t* name, uint32_t seed) {
        Sample sample{dir / name, MakePattern(2 * MiB + 4321, seed)};
        for (unsigned i = 1; i <= 3; ++i) {
            const auto from = sample.data.begin() + (i - 1) * MiB;
            const auto to = i < 3 ? from + MiB : sample.data.end();
            EXPECT_TRUE(WriteWholeFile(PartName(sample.whole, i), std::vector<uint8_t>(from, to)));
        }
        return sample;
    }
    // A later launch: it hands its work over and ends at once, with 0 and no window.
    static void HandOver(const std::wstring& arguments) {
        RunningProgram later(arguments);
        ASSERT_TRUE(later.Started());
        EXPECT_EQ(later.WaitForExit(30000), 0u);
    }
    static std::vector<std::wstring> QueueLines(HWND window) {
        HWND list = ::GetDlgItem(window, kQueueList);
        std::vector<std::wstring> lines;
        const LRESULT count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t line[MAX_PATH] = {};
            if (::SendMessageW(list, LB_GETTEXTLEN, i, 0) < MAX_PATH)
                ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
            lines.push_back(line);
        }
        return lines;
    }

    TempDir dir{L"queue"};
};

TEST_F(QueueEndToEndTest, TwoLaunchesEndInOneWindowThatRunsBoth) {
    const Sample source = Source(L"first.bin", 3 * MiB + 77, 1);
    const Sample set = Parts(L"second.bin", 2);

    MainWindowRun run(L" /s \"" + source.whole + L"\"");
    ASSERT_TRUE(run.Found());
    ASSERT_TRUE(::IsWindowVisible(run.Window()));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(run.Window(), kQueueList)));
    RECT alone{};
    ::GetWindowRect(run.Window(), &alone);

    HandOver(L" /j \"" + PartName(set.whole, 1) + L"\"");
    // The join waits for the split, which waits for its part size.
    EXPECT_EQ(run.Status(), L"Waiting user action.");
    EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(run.Window(), kQueueList)));
    EXPECT_EQ(QueueLines(run.Window()),
              (std::vector<std::wstring>{L"first.bin - splitting", L"second.bin.001 - waiting"}));
    RECT queued{};
    ::GetWindowRect(run.Window(), &queued);
    EXPECT_EQ(queued.right - queued.left, alone.right - alone.left);
    EXPECT_GT(queued.bottom - queued.top, alone.bottom - alone.top);

    run.TypePartSize(L"1", kMegabytes);
    run.PressAction();
    ASSERT_EQ(run.WaitForStatus(L"2 of 2 files done."), L"2 of 2 files done.");
    EXPECT_EQ(QueueLines(run.Window()),
              (std::vector<std::wstring>{L"first.bin - done", L"second.bin.001 - done"}));
    // The last operation stays the window's: its result can still be opened.
    EXPECT_EQ(run.ButtonLabel(), L"&Open");
    run.Choose(kCommandExit);
    EXPECT_EQ(run.Program().WaitForExit(10000), 0u);

    EXPECT_TRUE(PartsHold(source.whole, 4, source.data));
    EXPECT_FALSE(FileExists(PartName(source.whole, 5)));
    EXPECT_TRUE(Holds(set.whole, set.data));
}

TEST_F(QueueEndToEndTest, AFailureDoesNotStopTheRestAndItsCodeIsTheWindowsExitCode) {
    const Sample source = Source(L"big.bin", 2 * MiB + 5, 3);
    const Sample refused = Parts(L"taken.bin", 4);
    const std::vector<uint8_t> before = MakePattern(1000, 5);
    ASSERT_TRUE(WriteWholeFile(refused.whole, before));
    const Sample set = Parts(L"good.bin", 6);

    MainWindowRun run(L" /s \"" + source.whole + L"\"");
    ASSERT_TRUE(run.Found());
    HandOver(L" /j \"" + PartName(refused.whole, 1) + L"\"");
    HandOver(L" /j \"" + PartName(set.whole, 1) + L"\"");
    run.TypePartSize(L"1", kMegabytes);
    run.PressAction();
    const std::wstring summary = L"2 of 3 files done. Not done: taken.bin.001";
    ASSERT_EQ(run.WaitForStatus(summary), summary);
    EXPECT_EQ(QueueLines(run.Window()),
              (std::vector<std::wstring>{L"big.bin - done", L"taken.bin.001 - refused",
                                         L"good.bin.001 - done"}));
    run.Close();
    EXPECT_EQ(run.Program().WaitForExit(10000), 4u); // the refused join's code

    EXPECT_TRUE(PartsHold(source.whole, 3, source.data));
    EXPECT_TRUE(Holds(refused.whole, before));
    EXPECT_TRUE(Holds(set.whole, set.data));
}

} // namespace
} // namespace e2e
