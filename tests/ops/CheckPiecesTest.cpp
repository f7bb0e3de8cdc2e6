#include "OpsTestSupport.h"
#include "support/MessageLoop.h"

#include "app/Globals.h"
#include "io/ComputePool.h"
#include "ops/CheckPieces.h"
#include "recovery/Par2Repair.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t kSlice = 3 * 1024 * 1024;
constexpr uint32_t kBuffer = 1024 * 1024;

// What came back of a piece that ends a slice: its slice's checksum, and its part's digest where
// it ends the part.
struct Verdict {
    uint32_t crc;
    Md5Digest hash;
    Sha256Digest partHash;
    bool endsPart;
};
using Verdicts = std::map<std::pair<int32_t, int32_t>, Verdict>; // by file and slice

void Record(void* to, const CheckPieces::Piece& piece) {
    if (piece.endsSlice)
        (*static_cast<Verdicts*>(to))[{piece.file, piece.slice}] = {piece.crc, piece.hash,
                                                                    piece.partHash, piece.endsPart};
}

using CheckPiecesTest = ops_tests::OperationTest;

} // namespace

// Two parts, the second short of its last slice, go out in pieces of odd sizes: with one worker or
// several, and here without them, every slice comes back with its checksum (the MD5 of the first
// part's slices, the CRC32 of the second's), the zeros that fill the last slice up counted, and
// each part with its digest, as hashing them whole here makes them.
TEST_F(CheckPiecesTest, SlicesAndPartsComeBackWithTheirHashesOnAnyLanes) {
    const uint32_t sizes[] = {2 * kSlice, kSlice + 12345};
    std::vector<std::vector<uint8_t>> parts;
    Verdicts expected;
    for (int32_t f = 0; f < 2; ++f) {
        parts.push_back(MakePattern(sizes[f], 40 + f));
        Sha256 digest;
        digest.Update(parts[f].data(), sizes[f]);
        const Sha256Digest partHash = digest.Final();
        for (uint32_t start = 0; start < sizes[f]; start += kSlice) {
            std::vector<uint8_t> slice(kSlice, 0);
            std::memcpy(slice.data(), parts[f].data() + start,
                        sizes[f] - start < kSlice ? sizes[f] - start : kSlice);
            Md5 md5;
            Crc32 crc;
            md5.Update(slice.data(), kSlice);
            crc.Update(slice.data(), kSlice);
            const bool last = start + kSlice >= sizes[f];
            expected[{f, f * 2 + static_cast<int32_t>(start / kSlice)}] = {
                f == 1 ? crc.Value() : 0, f == 1 ? Md5Digest{} : md5.Finish(),
                last ? partHash : Sha256Digest{}, last};
        }
    }
    for (const int32_t workers : {0, 1, 2, 3}) {
        SCOPED_TRACE(workers);
        if (workers > 0) {
            gComputePool.Stop();
            ASSERT_TRUE(gComputePool.Start(workers));
        }
        Par2Repair sums; // nothing is fed to it
        Verdicts seen;
        CheckPieces pieces(&seen, Record, sums);
        for (int32_t f = 0; f < 2; ++f) {
            uint32_t step = 700001;
            for (uint32_t at = 0; at < sizes[f];) {
                const uint32_t inSlice = at % kSlice;
                const uint32_t sliceBytes =
                    sizes[f] - (at - inSlice) < kSlice ? sizes[f] - (at - inSlice) : kSlice;
                const uint32_t n = sliceBytes - inSlice < step ? sliceBytes - inSlice : step;
                step = step == 700001 ? kBuffer : 700001;
                CheckPieces::Piece piece = {};
                piece.data = parts[f].data() + at;
                piece.length = n;
                piece.file = f;
                piece.slice = f * 2 + static_cast<int32_t>(at / kSlice);
                piece.offset = inSlice;
                piece.checked = true;
                piece.byCrc = f == 1;
                piece.digest = true;
                piece.startsPart = at == 0;
                piece.endsSlice = inSlice + n == sliceBytes;
                piece.endsPart = at + n == sizes[f];
                piece.padding = piece.endsSlice ? kSlice - sliceBytes : 0;
                at += n;
                if (workers == 0) {
                    CheckPieces::Hash(piece, pieces.HashesHere());
                    Record(&seen, piece);
                    continue;
                }
                uint8_t* buffer = pieces.Take(kBuffer);
                ASSERT_NE(buffer, nullptr);
                std::memcpy(buffer, piece.data, n);
                piece.data = buffer;
                ASSERT_TRUE(pieces.HandOut(piece, workers));
            }
        }
        EXPECT_TRUE(testing_support::PumpUntil([&] { return pieces.Out() == 0; }));
        EXPECT_EQ(pieces.Error(), 0u);
        ASSERT_EQ(seen.size(), expected.size());
        for (const auto& [at, want] : expected) {
            const Verdict& got = seen[at];
            EXPECT_EQ(got.crc, want.crc) << at.second;
            EXPECT_TRUE(got.hash == want.hash) << at.second;
            EXPECT_EQ(got.endsPart, want.endsPart) << at.second;
            EXPECT_TRUE(!want.endsPart || got.partHash == want.partHash) << at.second;
        }
    }
}
