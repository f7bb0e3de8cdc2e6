#include "OpsTestSupport.h"

#include "io/IoPair.h"
#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"

#include "support/MessageLoop.h"

#include <random>
#include <set>

using namespace testing_support;

namespace ops_tests {
namespace {

constexpr uint32_t kMiB = 1024 * 1024;

// Notes the buffer of every read and write, and counts them.
class BufferRecorder : public ChainedObserver {
public:
    void OnTransfer(HANDLE handle, uint64_t position, const void* buffer, uint32_t length,
                    bool write) override {
        buffers.insert(buffer);
        ++transfers;
        ChainedObserver::OnTransfer(handle, position, buffer, length, write);
    }

    std::set<const void*> buffers;
    int transfers = 0;
};

class InFlightTest : public OperationTest {};

// The pipeline runs IoPairCount buffers as long as they hold no more than 64 MiB together, and
// fewer, larger ones otherwise; a split and a join of a file with more chunks than buffers use
// exactly that many, and the data still comes back whole.
TEST_F(InFlightTest, AtMost64MiBOfBuffersAreInFlight) {
    struct Case {
        uint32_t bufferSize;
        uint32_t pairs;
        size_t expectedBuffers;
    };
    const Case cases[] = {{16 * kMiB, 16, 4}, {16 * kMiB, 3, 3},    {8 * kMiB, 16, 8},
                          {4 * kMiB, 16, 16}, {128 * 1024, 16, 16}, {128 * 1024, 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.pairs << " x " << c.bufferSize);
        EXPECT_EQ(PairsInFlight(static_cast<int32_t>(c.pairs), c.bufferSize),
                  static_cast<int32_t>(c.expectedBuffers));
        SetTuning(c.bufferSize, c.pairs);
        // More chunks than pairs, the last one short.
        const size_t size = (c.expectedBuffers + 2) * c.bufferSize + 4097;
        const std::wstring source = dir / L"in flight.bin";
        const std::vector<uint8_t> original = MakePattern(size, 3);
        ASSERT_TRUE(WriteWholeFile(source, original));
        {
            BufferRecorder recorder;
            RecordingDisplay shown;
            ASSERT_EQ(Split(source, size / 2 + 1, shown), OperationState::Done)
                << Narrow(shown.statusBar);
            EXPECT_EQ(recorder.buffers.size(), c.expectedBuffers);
        }
        ASSERT_TRUE(::DeleteFileW(source.c_str()));
        {
            BufferRecorder recorder;
            RecordingDisplay shown;
            ASSERT_EQ(Join(source, shown), OperationState::Done) << Narrow(shown.statusBar);
            EXPECT_EQ(recorder.buffers.size(), c.expectedBuffers);
        }
        EXPECT_TRUE(Holds(source, original));
        for (unsigned part = 1; part <= 2; ++part)
            EXPECT_TRUE(::DeleteFileW(PartName(source, part).c_str()));
        EXPECT_TRUE(::DeleteFileW(source.c_str()));
        ::DeleteFileW((source + L".sha256").c_str());
    }
}

// Resume starts the pipeline again under the same limit: once the chunks in flight at the pause
// have come back, sixteen 16 MiB buffers asked for are still only four, however often it is
// paused and resumed.
TEST_F(InFlightTest, ResumeStartsNoMoreThan64MiBOfBuffers) {
    SetTuning(16 * kMiB, 16);
    const uint64_t kChunk = 16 * kMiB;
    // Four chunks before the pause and six after it, so that more than four could start.
    const size_t size = 9 * kChunk + 4097;
    const std::wstring source = dir / L"paused.bin";
    const std::vector<uint8_t> original = MakePattern(size, 5);
    ASSERT_TRUE(WriteWholeFile(source, original));
    RecordingDisplay shown;
    shown.partSize = size / 2 + 1;
    SplitOperation split(shown);
    BufferRecorder beforeResume;
    split.Start(Wide(source));
    split.OnCommand(kCommandSplit);
    split.OnCommand(kCommandPause);
    ASSERT_EQ(split.State(), OperationState::Paused);
    ASSERT_TRUE(RunUntil([&] { return split.DoneSize() == 4 * kChunk; }));
    // Each pair wrote its chunk and went back without reading another: a read is counted as
    // it is issued, inside the completion of the write before it.
    EXPECT_EQ(beforeResume.transfers, 8);

    BufferRecorder recorder;
    split.OnCommand(kCommandResume);
    // Paused and resumed again before any pair came back, as holding Enter does: the pairs in
    // flight go on, and none is added.
    for (int i = 0; i < 3; ++i) {
        split.OnCommand(kCommandPause);
        split.OnCommand(kCommandResume);
    }
    ASSERT_TRUE(RunToEnd(split));
    ASSERT_EQ(split.State(), OperationState::Done) << Narrow(shown.statusBar);
    split.Abort();
    EXPECT_EQ(recorder.buffers.size(), 4u);
    EXPECT_TRUE(PartsHold(source, 2, original));
}

// Splits and joins aborted at random moments, with files opened right after each abort, as a
// window closed during the work does: every pair comes back, and none reaches those files.
TEST_F(InFlightTest, AbortsAtRandomMomentsLoseNoPairAndWriteNowhere) {
    SetTuning(256 * 1024, 8);
    const std::wstring source = dir / L"r.bin", joined = dir / L"j.bin";
    ASSERT_TRUE(WritePatternFile(source, 8 * kMiB, 7));
    for (unsigned i = 1; i <= 8; ++i)
        ASSERT_TRUE(WritePatternFile(PartName(joined, i), kMiB, 10 + i));
    const std::vector<uint8_t> bystander = MakePattern(64 * 1024, 8);
    std::mt19937 random(2026);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        RecordingDisplay shown;
        shown.partSize = kMiB;
        SplitOperation split(shown);
        JoinOperation join(shown);
        Operation& operation = round % 2 == 0 ? static_cast<Operation&>(split) : join;
        if (&operation == &split) {
            split.Start(Wide(source));
            split.OnCommand(kCommandSplit);
        } else {
            join.Start(Wide(PartName(joined, 1)));
        }
        ASSERT_EQ(operation.State(), OperationState::Running) << Narrow(shown.statusBar);
        PumpFor(random() % 20);
        operation.Abort();
        std::vector<HANDLE> opened;
        for (int i = 0; i < 4; ++i) {
            const std::wstring name = dir / (L"bystander" + std::to_wstring(i));
            ASSERT_TRUE(WriteWholeFile(name, bystander));
            opened.push_back(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
        }
        EXPECT_TRUE(RunUntil([this] { return LiveIoPairs() == pairsAtStart; }, 10000))
            << LiveIoPairs() - pairsAtStart;
        for (int i = 0; i < 4; ++i) {
            ::CloseHandle(opened[i]);
            EXPECT_TRUE(Holds(dir / (L"bystander" + std::to_wstring(i)), bystander)) << i;
        }
        // One that got to its end before the abort leaves its outputs.
        if (FileExists(joined)) {
            ASSERT_TRUE(::DeleteFileW(joined.c_str()));
        }
        for (unsigned i = 1; i <= 8 && FileExists(source + L".sha256"); ++i) {
            ASSERT_TRUE(::DeleteFileW(PartName(source, i).c_str()));
        }
        ::DeleteFileW((source + L".sha256").c_str());
        EXPECT_FALSE(FileExists(PartName(source, 1)));
        EXPECT_FALSE(FileExists(joined + L".partial"));
    }
}

} // namespace
} // namespace ops_tests
