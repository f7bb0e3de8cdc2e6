#include "OpsTestSupport.h"

#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"

#include <algorithm>
#include <cstdio>

using namespace testing_support;

namespace ops_tests {
namespace {

uint64_t PartCountFor(uint64_t total, uint64_t partSize) {
    return total == 0 ? 0 : (total + partSize - 1) / partSize;
}

class RoundTripTest : public OperationTest {
protected:
    // Splits source into parts of partSize and checks every part; then joins them back from
    // part 1 into the same path and checks the whole.
    void RoundTrip(uint64_t size, uint64_t partSize, uint32_t bufferSize, uint32_t pairs) {
        SCOPED_TRACE(::testing::Message() << "size " << size << ", part size " << partSize
                                          << ", buffer " << bufferSize << ", pairs " << pairs);
        SetTuning(bufferSize, pairs);
        const std::wstring source = dir / L"round trip.bin";
        std::vector<uint8_t> original = MakePattern(static_cast<size_t>(size), 7);
        ASSERT_TRUE(WriteWholeFile(source, original));
        const uint64_t count = PartCountFor(size, partSize);

        {
            RecordingDisplay shown;
            shown.partSize = partSize;
            SplitOperation split(shown);
            split.Start(Wide(source));
            ASSERT_EQ(split.State(), OperationState::Waiting);
            wchar_t expected[128];
            swprintf(expected, 128, L"Click Split button to begin (%llu parts will be created).",
                     static_cast<unsigned long long>(count));
            EXPECT_EQ(shown.statusBar, expected);
            split.OnCommand(kCommandSplit);
            if (size == 0) {
                // Nothing to split: the command is ignored and nothing is created.
                EXPECT_EQ(split.State(), OperationState::Waiting);
                EXPECT_FALSE(FileExists(PartName(source, 1)));
                split.Abort();
                ::DeleteFileW(source.c_str());
                return;
            }
            ASSERT_TRUE(RunToEnd(split));
            ASSERT_EQ(split.State(), OperationState::Done) << Narrow(shown.statusBar);
            EXPECT_EQ(shown.status, L"round trip.bin splited !");
            EXPECT_EQ(shown.endedMessages, 1);
            split.Abort();
        }

        for (uint64_t i = 1; i <= count; ++i) {
            SCOPED_TRACE(::testing::Message() << "part " << i);
            const uint64_t offset = (i - 1) * partSize;
            const uint64_t expectedSize = std::min(partSize, size - offset);
            std::vector<uint8_t> part;
            ASSERT_TRUE(ReadWholeFile(PartName(source, static_cast<unsigned>(i)), part));
            ASSERT_EQ(part.size(), expectedSize);
            EXPECT_TRUE(std::equal(part.begin(), part.end(), original.begin() + offset));
        }
        EXPECT_FALSE(FileExists(PartName(source, static_cast<unsigned>(count + 1))));

        // The whole file goes, so that the join can create it anew from the parts.
        ASSERT_TRUE(::DeleteFileW(source.c_str()));
        RecordingDisplay joined;
        ASSERT_EQ(Join(source, joined), OperationState::Done) << Narrow(joined.statusBar);
        EXPECT_EQ(joined.status, L"round trip.bin joined !");
        EXPECT_EQ(joined.statusBar, L"SHA-256 verified: " + source);
        EXPECT_EQ(joined.endedMessages, 1);
        EXPECT_TRUE(Holds(source, original));

        for (uint64_t i = 1; i <= count; ++i)
            ::DeleteFileW(PartName(source, static_cast<unsigned>(i)).c_str());
        ::DeleteFileW(source.c_str());
        // The split's SHA-256 list; the next round's split would refuse to overwrite it.
        EXPECT_TRUE(::DeleteFileW((source + L".sha256").c_str()));
    }

    // Sizes on both sides of the sector and of the buffer, crossed with part sizes that are not
    // a sector multiple, are one, exceed the file and divide it exactly; the number of IoPairs
    // turns through 1, 4 and 16.
    void Matrix(uint32_t buffer) {
        const uint64_t sizes[] = {
            0, 1, 511, 512, 513, buffer - 1ull, buffer, buffer + 1ull, 3ull * buffer + 517};
        const uint32_t pairCounts[] = {1, 4, 16};
        unsigned turn = 0;
        for (uint64_t size : sizes) {
            uint64_t sectorMultiple = std::max<uint64_t>(kSector, size / 3 / kSector * kSector);
            uint64_t dividing = size % 2 == 0 && size != 0 ? size / 2 : std::max<uint64_t>(size, 1);
            const uint64_t partSizes[] = {1000000, sectorMultiple, size + 4096, dividing};
            for (uint64_t partSize : partSizes) {
                RoundTrip(size, partSize, buffer, pairCounts[turn++ % 3]);
                if (HasFatalFailure())
                    return;
            }
        }
        EXPECT_GT(checker.CheckedCount(), 0);
    }
};

TEST_F(RoundTripTest, SmallestBuffers) {
    Matrix(128 * 1024);
}

TEST_F(RoundTripTest, DefaultBuffers) {
    Matrix(1024 * 1024);
}

TEST_F(RoundTripTest, LargestBuffers) {
    Matrix(16 * 1024 * 1024);
}

// Paths relative to the current folder, as a command line may give them: the operations work on
// the absolute path, so that no name comes out empty.
TEST_F(RoundTripTest, SplitAndJoinTakeTheFullPath) {
    struct Restore {
        wchar_t previous[MAX_PATH] = {};
        ~Restore() { ::SetCurrentDirectoryW(previous); }
    } restore;
    ::GetCurrentDirectoryW(MAX_PATH, restore.previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir.Path().c_str()));
    const std::vector<uint8_t> data = MakePattern(5000, 1);
    const std::wstring source = dir / L"quick.bin";
    ASSERT_TRUE(WriteWholeFile(source, data));
    RecordingDisplay shown;
    shown.partSize = 4096;
    SplitOperation split(shown);
    split.Start(Wide(std::wstring(1, source[0]) + L":quick.bin"));
    EXPECT_EQ(shown.title, L"quick.bin");
    split.OnCommand(kCommandSplit);
    ASSERT_TRUE(RunToEnd(split));
    ASSERT_EQ(split.State(), OperationState::Done) << Narrow(shown.statusBar);
    split.Abort();
    EXPECT_EQ(ReadText(source + L".sha256"), ExpectedChecksumList(source, data, 4096));
    ASSERT_TRUE(::DeleteFileW(source.c_str()));
    RecordingDisplay joined;
    JoinOperation join(joined);
    join.Start(Wide(L"quick.bin.002"));
    ASSERT_TRUE(RunToEnd(join));
    ASSERT_EQ(join.State(), OperationState::Done) << Narrow(joined.statusBar);
    EXPECT_EQ(std::wstring(join.Path().Text()), source);
    join.Abort();
    EXPECT_TRUE(Holds(source, data));
}

} // namespace
} // namespace ops_tests
