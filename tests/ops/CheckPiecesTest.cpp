#include "OpsTestSupport.h"
#include "support/MessageLoop.h"

#include "app/Globals.h"
#include "io/ComputePool.h"
#include "ops/CheckPieces.h"
#include "recovery/Par2Repair.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using CheckPiecesTest = ops_tests::OperationTest;

// A part of two slices, the last short, goes out a megabyte a piece: with two workers or three,
// its pieces stay on one lane, so that the slices' CRC32 (the zeros that fill the last one up
// counted) and the part's digest come back as hashing the part whole here makes them.
TEST_F(CheckPiecesTest, APartInManyPiecesIsHashedOnOneLane) {
    constexpr uint32_t kSlice = 3 * 1024 * 1024, kPiece = 1024 * 1024, kSize = kSlice + 12345;
    std::vector<uint8_t> part = MakePattern(kSize, 40), padded(part);
    padded.resize(2 * kSlice, 0);
    Crc32 crcs[2];
    for (int s = 0; s < 2; ++s)
        crcs[s].Update(padded.data() + size_t{kSlice} * s, kSlice);
    Sha256 digest;
    digest.Update(part.data(), kSize);
    const Sha256Digest wanted = digest.Final();
    for (const int32_t workers : {2, 3}) {
        SCOPED_TRACE(workers);
        gComputePool.Stop();
        ASSERT_TRUE(gComputePool.Start(workers));
        std::vector<CheckPieces::Piece> back;
        Par2Repair sums; // nothing is fed to it
        CheckPieces pieces(
            &back,
            [](void* to, const CheckPieces::Piece& p) {
                static_cast<std::vector<CheckPieces::Piece>*>(to)->push_back(p);
            },
            sums);
        for (uint32_t at = 0; at < kSize;) {
            const uint32_t sliceEnd = at < kSlice ? kSlice : kSize;
            const uint32_t n = sliceEnd - at < kPiece ? sliceEnd - at : kPiece;
            CheckPieces::Piece piece = {};
            uint8_t* buffer = pieces.Take(kPiece);
            ASSERT_NE(buffer, nullptr);
            std::memcpy(buffer, part.data() + at, n);
            piece.data = buffer;
            piece.length = n;
            piece.slice = at < kSlice ? 0 : 1;
            piece.offset = at % kSlice;
            piece.checked = piece.byCrc = piece.digest = true;
            piece.startsPart = at == 0;
            piece.endsSlice = at + n == sliceEnd;
            piece.endsPart = at + n == kSize;
            piece.padding = piece.endsPart ? 2 * kSlice - kSize : 0;
            at += n;
            ASSERT_TRUE(pieces.HandOut(piece, workers));
        }
        EXPECT_TRUE(testing_support::PumpUntil([&] { return pieces.Out() == 0; }));
        ASSERT_EQ(back.size(), 4u);
        EXPECT_EQ(back[2].crc, crcs[0].Value());
        EXPECT_EQ(back[3].crc, crcs[1].Value());
        EXPECT_TRUE(back[3].partHash == wanted);
    }
}
