#include "ui/WorkQueue.h"

#include <gtest/gtest.h>

#include <string>

namespace {

WideString Wide(const std::wstring& text) {
    WideString wide;
    wide.Assign(text.c_str(), static_cast<uint32_t>(text.size()));
    return wide;
}

// A queue of the files, the first n of them ended with the outcomes given.
struct QueueOf {
    WorkQueue queue;
    QueueOf(std::initializer_list<const wchar_t*> files,
            std::initializer_list<OperationOutcome> ended) {
        for (const wchar_t* file : files)
            EXPECT_TRUE(queue.Add(RunMode::Split, Wide(file)));
        for (const OperationOutcome outcome : ended) {
            EXPECT_GE(queue.BeginNext(), 0);
            queue.EndCurrent(outcome);
        }
    }
    std::wstring Line(int32_t index) const {
        WideString text;
        queue.LineText(index, text);
        return text.Text();
    }
    std::wstring Summary() const {
        WideString text;
        queue.Summary(text);
        return text.Text();
    }
};

constexpr OperationOutcome kDone = OperationOutcome::Done;
constexpr OperationOutcome kCancelled = OperationOutcome::Cancelled;

} // namespace

TEST(WorkQueue, ADroppedFileIsJoinedThroughItsFirstPartOrSplit) {
    struct Case {
        const wchar_t* file;
        RunMode mode;
        const wchar_t* target;
    };
    const Case cases[] = {
        {L"C:\\a\\trip.avi", RunMode::Split, L"C:\\a\\trip.avi"},
        {L"C:\\a\\trip.avi.001", RunMode::Join, L"C:\\a\\trip.avi.001"},
        {L"C:\\a\\TRIP.AVI.001", RunMode::Join, L"C:\\a\\TRIP.AVI.001"},
        {L"C:\\a\\trip.avi.002", RunMode::Split, L"C:\\a\\trip.avi.002"},
        {L"C:\\a\\trip.avi.sha256", RunMode::Join, L"C:\\a\\trip.avi.001"},
        {L"C:\\a\\trip.avi.SHA256", RunMode::Join, L"C:\\a\\trip.avi.001"},
        {L"C:\\a\\trip.avi.par2", RunMode::Join, L"C:\\a\\trip.avi.001"},
        {L"C:\\a\\trip.avi.vol0+1.par2", RunMode::Join, L"C:\\a\\trip.avi.001"},
        {L"C:\\a\\trip.avi.vol15+16.PAR2", RunMode::Join, L"C:\\a\\trip.avi.001"},
        // Not a volume's name: the stem keeps it.
        {L"C:\\a\\trip.vol+1.par2", RunMode::Join, L"C:\\a\\trip.vol+1.001"},
        {L"C:\\a\\trip.vol1+.par2", RunMode::Join, L"C:\\a\\trip.vol1+.001"},
        // Nothing before the list's extension: no set to join.
        {L".sha256", RunMode::Split, L".sha256"},
        {L"C:\\a\\trip.avi.sfv", RunMode::Split, L"C:\\a\\trip.avi.sfv"},
        {L"C:\\a\\trip.avi.md5", RunMode::Split, L"C:\\a\\trip.avi.md5"},
        {L"001", RunMode::Split, L"001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.file)));
        WideString target;
        EXPECT_EQ(WorkQueue::ModeForFile(Wide(c.file), target), c.mode);
        EXPECT_EQ(std::wstring(target.Text()), c.target);
    }
}

TEST(WorkQueue, TheWorstOutcomeTellsTheQueuesEnd) {
    using O = OperationOutcome;
    struct Case {
        std::initializer_list<O> ended;
        O current;
        O expected;
    };
    const Case cases[] = {
        {{}, kDone, kDone},
        {{}, O::Damaged, O::Damaged},
        {{kDone}, O::IoError, O::IoError},
        {{O::Refused}, kDone, O::Refused},
        {{O::Damaged, O::Incomplete}, kDone, O::Damaged},
        {{O::Incomplete, O::Refused, kDone}, O::Incomplete, O::Refused},
        {{kDone, kDone}, kCancelled, kCancelled},
    };
    for (const Case& c : cases) {
        // The ended items and the current one, nothing waiting.
        WorkQueue queue;
        for (size_t i = 0; i <= c.ended.size(); ++i)
            ASSERT_TRUE(queue.Add(RunMode::Join, Wide(L"C:\\f.001")));
        for (const O outcome : c.ended) {
            queue.BeginNext();
            queue.EndCurrent(outcome);
        }
        queue.BeginNext();
        EXPECT_FALSE(queue.HasWaiting());
        EXPECT_EQ(queue.Outcome(c.current), c.expected);
        // A file still waiting when the window closes was cancelled.
        ASSERT_TRUE(queue.Add(RunMode::Join, Wide(L"C:\\f.001")));
        EXPECT_EQ(queue.Outcome(c.current), WorseOf(c.expected, kCancelled));
    }
    // Nothing waits and the last has ended: its outcome is taken from the queue, not the caller.
    QueueOf ended({L"a", L"b"}, {O::Incomplete, kDone});
    EXPECT_EQ(ended.queue.Current(), -1);
    EXPECT_FALSE(ended.queue.HasWaiting());
    EXPECT_EQ(ended.queue.Outcome(kCancelled), O::Incomplete);
}

TEST(WorkQueue, LinesAndSummaryNameEachFileAndHowItEnded) {
    QueueOf q({L"C:\\d\\a.bin", L"C:\\d\\b.bin", L"C:\\d\\c.bin", L"C:\\d\\d.bin"},
              {kDone, OperationOutcome::Damaged});
    q.queue.BeginNext();
    EXPECT_EQ(q.Line(0), L"a.bin - done");
    EXPECT_EQ(q.Line(1), L"b.bin - damaged");
    EXPECT_EQ(q.Line(2), L"c.bin - splitting");
    EXPECT_EQ(q.Line(3), L"d.bin - waiting");
    EXPECT_FLOAT_EQ(q.queue.Percent(50.0f), 62.5f);

    q.queue.EndCurrent(OperationOutcome::IoError);
    q.queue.BeginNext();
    q.queue.EndCurrent(kDone);
    EXPECT_EQ(q.Line(2), L"c.bin - I/O error");
    EXPECT_FLOAT_EQ(q.queue.Percent(0.0f), 100.0f);
    EXPECT_EQ(q.Summary(), L"2 of 4 files done. Not done: b.bin, c.bin");

    QueueOf all({L"C:\\x", L"C:\\y"}, {kDone, kDone});
    EXPECT_EQ(all.Summary(), L"2 of 2 files done.");
}

TEST(WorkQueue, AFullQueueRefusesMore) {
    WorkQueue queue;
    for (int32_t i = 0; i < WorkQueue::kMostItems; ++i)
        ASSERT_TRUE(queue.Add(RunMode::Join, Wide(L"C:\\f.001")));
    EXPECT_FALSE(queue.Add(RunMode::Join, Wide(L"C:\\f.001")));
    EXPECT_FALSE(WorkQueue().Add(RunMode::Join, Wide(L"")));
}
