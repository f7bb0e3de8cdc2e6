#include "recovery/Par2Creator.h"

#include "support/TestFiles.h"

#include "toolkit/Handle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testing_support;

namespace {

// Files of odd sizes, so that 16-bit words straddle the pieces and the files' ends.
const wchar_t* const kNames[] = {L"a.001", L"a.002", L"a.003", L"a.004"};
const uint64_t kSizes[] = {12345, 1, 40000, 7777};
constexpr uint32_t kSliceSize = 4096;
constexpr int32_t kBlocks = 5;

// Every file of the set the creator made, in order, written through its handle and read back.
std::vector<std::vector<uint8_t>> Outputs(Par2Creator& creator, const TempDir& dir) {
    std::vector<std::vector<uint8_t>> outputs;
    for (int32_t i = 0; i < creator.OutputCount(); ++i) {
        const std::wstring path = dir / (L"out" + std::to_wstring(i));
        {
            FileHandle file(
                ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            EXPECT_TRUE(file.IsSet());
            for (bool done = false; !done;)
                EXPECT_TRUE(creator.WriteOutputPiece(i, file.Get(), done)) << ::GetLastError();
        }
        outputs.emplace_back();
        EXPECT_TRUE(ReadWholeFile(path, outputs.back()));
    }
    return outputs;
}

bool StartWithHeads(Par2Creator& creator, const std::vector<uint8_t>& stream) {
    if (!creator.Start(kNames, kSizes, 4, kSliceSize, kBlocks))
        return false;
    size_t at = 0;
    for (int32_t f = 0; f < 4; ++f) {
        const size_t head =
            kSizes[f] < Par2Creator::kHeadBytes ? size_t(kSizes[f]) : Par2Creator::kHeadBytes;
        if (!creator.SetFileHead(f, stream.data() + at, head))
            return false;
        at += size_t(kSizes[f]);
    }
    return true;
}

// The stream laid out, hashed (the MD5s and CRC32s together or apart) and added lane by lane, in
// pieces of odd sizes, makes the same set, byte for byte, as the same stream added at once,
// however many lanes share out the blocks (also more lanes than blocks).
TEST(Par2CreatorTest, LanesMakeTheSameSetAsOneThread) {
    TempDir dir(L"lanes");
    const std::vector<uint8_t> stream = MakePattern(12345 + 1 + 40000 + 7777, 9);
    Par2Creator whole;
    ASSERT_TRUE(StartWithHeads(whole, stream));
    ASSERT_TRUE(whole.AddData(stream.data(), stream.size()));
    const auto expected = Outputs(whole, dir);
    ASSERT_EQ(expected.size(), 4u); // the index and volumes of 1, 2 and 2 blocks
    for (const int32_t lanes : {1, 2, 3, 8}) {
        SCOPED_TRACE(lanes);
        Par2Creator creator;
        ASSERT_TRUE(StartWithHeads(creator, stream));
        for (size_t at = 0; at < stream.size(); at += 997) {
            const size_t n = stream.size() - at < 997 ? stream.size() - at : 997;
            DynArray<Par2Creator::Run> runs;
            ASSERT_TRUE(creator.PlanData(n, runs));
            // With more than one lane, the MD5s and the CRC32s apart, CRC32s first.
            const bool apart = lanes > 1;
            if (apart)
                ASSERT_TRUE(
                    creator.HashRuns(stream.data() + at, runs.Items(), runs.Count(), false, true));
            ASSERT_TRUE(
                creator.HashRuns(stream.data() + at, runs.Items(), runs.Count(), true, !apart));
            // The lanes in reverse, as threads may take them.
            for (int32_t lane = lanes - 1; lane >= 0; --lane)
                creator.AddRunsToBlocks(stream.data() + at, runs.Items(), runs.Count(), lane,
                                        lanes);
        }
        EXPECT_TRUE(Outputs(creator, dir) == expected);
    }
}

} // namespace
