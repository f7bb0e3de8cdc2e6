#include "Par2TestSets.h"

#include "recovery/Md5.h"
#include "recovery/Par2Format.h"
#include "recovery/Par2Set.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

using Scan = Par2PacketScan;

// The set's ID, from a file the creator wrote.
Md5Digest SetIdOf(const std::vector<uint8_t>& bytes) {
    Md5Digest id;
    std::copy_n(bytes.begin() + 32, 16, id.bytes);
    return id;
}

void PutLittle(std::vector<uint8_t>& bytes, size_t at, uint64_t value, int count) {
    for (int i = 0; i < count; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Packets that lie are passed over, never trusted: the set reads as it was made, from the intact
// packets around them, and a block that can't be checked does not count.
TEST(Par2SetTest, HostilePacketsArePassedOver) {
    const auto hugeLength = [](std::vector<uint8_t>& bytes) {
        std::vector<uint8_t> header(64);
        std::copy_n("PAR2\0PKT", 8, header.begin());
        std::fill_n(header.begin() + 8, 7, 0xFF); // a length of 2^56 - 1
        bytes.insert(bytes.begin(), header.begin(), header.end());
    };
    const struct {
        const wchar_t* file;
        std::function<void(std::vector<uint8_t>&)> lie;
        int32_t blocks;
    } cases[] = {
        {L"x.par2", [](std::vector<uint8_t>& b) { b[64] ^= 0x10; }, 6}, // main's slice size
        {L"x.vol0+1.par2", hugeLength, 6},                              // before a block
        {L"x.vol1+2.par2", [](std::vector<uint8_t>& b) { b.resize(64 + 4000); }, 4}, // truncated
        {L"x.vol3+3.par2", [](std::vector<uint8_t>& b) { b[8] ^= 0x40; }, 5},        // wrong length
        // A length that leads over the next block to the one after: that next one is found.
        {L"x.vol3+3.par2", [](std::vector<uint8_t>& b) { b[8] = 0x88, b[9] = 0x40; }, 5},
        {L"x.vol6+1.par2", nullptr, 6}, // a volume of another set with the same names
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.file));
        TempDir dir, other;
        std::vector<std::vector<uint8_t>> originals, others;
        ASSERT_NO_FATAL_FAILURE(MakeSet(dir, originals));
        std::vector<uint8_t> bytes;
        if (c.lie) {
            ASSERT_TRUE(ReadWholeFile(dir / c.file, bytes));
            c.lie(bytes);
        } else {
            ASSERT_NO_FATAL_FAILURE(MakeSet(other, others, 70));
            ASSERT_TRUE(ReadWholeFile(other / L"x.vol0+1.par2", bytes));
        }
        ASSERT_TRUE(WriteWholeFile(dir / c.file, bytes));
        Par2Set set;
        ASSERT_TRUE(set.Load((dir / L"x").c_str())) << ::GetLastError();
        EXPECT_EQ(set.RecoveryBlockCount(), c.blocks);
        ASSERT_EQ(set.FileCount(), 3);
        EXPECT_EQ(set.SliceSize(), 8192u);
        for (int i = 0; i < 3; ++i) {
            const int32_t f = set.FindFile(kSetNames[i]);
            ASSERT_GE(f, 0);
            Md5 md5;
            md5.Update(originals[i].data(), originals[i].size());
            EXPECT_TRUE(md5.Finish() == set.FileHash(f)) << i;
        }
    }
}

TEST(Par2SetTest, LoadFailures) {
    TempDir dir;
    Par2Set set;
    EXPECT_FALSE(set.BeginLoad((dir / L"x").c_str()));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(set.Load((dir / L"x").c_str()));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    ASSERT_TRUE(WriteWholeFile(dir / L"x.vol0+1.par2", MakePattern(5000)));
    EXPECT_FALSE(set.Load((dir / L"x").c_str()));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

// 16 MiB of junk of each kind beside a whole set, packets whose lengths lie most of them: the set
// loads, and what that costs is bounded by the bytes, each hashed a few times at most.
TEST(Par2SetTest, JunkCostsItsBytesOnce) {
    constexpr size_t kJunk = 16 * MiB;
    // Fills a 64-byte cell at `at` with a packet header of this type and length.
    const auto cell = [](std::vector<uint8_t>& b, size_t at, const uint8_t* type, uint64_t length) {
        std::copy_n(par2::kMagic, 8, b.begin() + at);
        PutLittle(b, at + 8, length, 8);
        std::copy_n(type, 16, b.begin() + at + 48);
    };
    const struct {
        const char* what;
        const uint8_t* type; // of a packet in every cell, null: none
        std::function<uint64_t(size_t at, size_t size)> length;
    } cases[] = {
        {"random bytes", nullptr, nullptr},
        {"unknown packets to the end", par2::kCreatorType,
         [](size_t at, size_t size) { return size - at; }},
        {"main packets of 1 MiB", par2::kMainType, [](size_t, size_t) { return MiB; }},
        {"descriptions of the longest name", par2::kFileDescType,
         [](size_t, size_t) { return 64 + Scan::kMaxDescriptionBody; }},
        {"checksums of every length", par2::kSliceChecksumType,
         [](size_t at, size_t) { return 128 + at % (640 * KiB) / 4 * 4; }},
        {"blocks to the end", par2::kRecoveryType,
         [](size_t at, size_t size) { return size - at; }},
        {"blocks to the next megabyte", par2::kRecoveryType,
         [](size_t at, size_t) { return MiB - at % MiB + 64; }},
    };
    TempDir dir;
    std::vector<std::vector<uint8_t>> originals;
    ASSERT_NO_FATAL_FAILURE(MakeSet(dir, originals));
    int64_t setBytes = 0;
    for (const wchar_t* file : kSetFiles)
        setBytes += FileSize(dir / file);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> junk = MakePattern(kJunk, 99);
        for (size_t at = 0; c.type && at < kJunk; at += 64)
            cell(junk, at, c.type, c.length(at, kJunk));
        ASSERT_TRUE(WriteWholeFile(dir / L"x.vol9+1.par2", junk));
        Par2Set set;
        ASSERT_TRUE(set.Load((dir / L"x").c_str())) << ::GetLastError();
        EXPECT_EQ(set.FileCount(), 3);
        EXPECT_EQ(set.RecoveryBlockCount(), 6);
        const uint64_t total = kJunk + static_cast<uint64_t>(setBytes);
        EXPECT_LE(set.Cost().work.bytesHashed, Scan::kOpenMost * total + 2 * MiB);
        EXPECT_LE(set.Cost().work.bytesRead, 2 * total);
        EXPECT_LE(set.Cost().work.reads, static_cast<int32_t>(2 * total / Scan::kProbeBytes));
    }
}

// Loading in steps: each LoadMore(0) reads at most a window and a probe, and hashes what few
// packets the window overlaps; the progress only grows, to 1 when done.
TEST(Par2SetTest, EveryStepIsBounded) {
    TempDir dir;
    std::vector<std::vector<uint8_t>> originals;
    ASSERT_NO_FATAL_FAILURE(MakeSet(dir, originals));
    std::vector<uint8_t> junk = MakePattern(6 * MiB + 12345, 5);
    for (size_t at = 0; at + 64 <= junk.size(); at += 96) {
        std::copy_n(par2::kMagic, 8, junk.begin() + at);
        PutLittle(junk, at + 8, (junk[at + 20] & 1 ? 700 * KiB : 64 * KiB) + at % 256 / 4 * 4, 8);
        const uint8_t* const types[] = {par2::kMainType, par2::kRecoveryType,
                                        par2::kSliceChecksumType, par2::kFileDescType};
        std::copy_n(types[junk[at + 21] % 4], 16, junk.begin() + at + 48);
    }
    ASSERT_TRUE(WriteWholeFile(dir / L"x.vol9+1.par2", junk));
    Par2Set set;
    ASSERT_TRUE(set.BeginLoad((dir / L"x").c_str()));
    Par2Set::LoadCost before = set.Cost();
    float progress = set.LoadProgress();
    EXPECT_EQ(progress, 0.0f);
    Par2Set::LoadStep step = Par2Set::LoadStep::Working;
    int calls = 0;
    for (; step == Par2Set::LoadStep::Working && calls < 10000; ++calls) {
        step = set.LoadMore(0);
        const Par2Set::LoadCost& now = set.Cost();
        EXPECT_EQ(now.steps, before.steps + 1);
        ASSERT_LE(now.work.bytesRead - before.work.bytesRead,
                  Scan::kWindowBytes + Scan::kProbeBytes);
        ASSERT_LE(now.work.bytesHashed - before.work.bytesHashed,
                  (Scan::kOpenMost + 1) * (Scan::kWindowBytes + Scan::kMaxChecksumsBody));
        EXPECT_GE(set.LoadProgress(), progress);
        progress = set.LoadProgress();
        before = now;
    }
    EXPECT_EQ(step, Par2Set::LoadStep::Done);
    EXPECT_EQ(progress, 1.0f);
    EXPECT_LT(calls, 200);
    EXPECT_EQ(set.FileCount(), 3);
    EXPECT_EQ(set.RecoveryBlockCount(), 6);
}

// What is kept is capped at what the largest set needs: the main packet of a set of more files
// is passed over, a name longer than a folder can hold too, and description packets past the
// cap are not kept. The set's own packets, found first or beside them, still make the set.
TEST(Par2SetTest, KeptPacketsAreCapped) {
    TempDir dir;
    std::vector<std::vector<uint8_t>> originals;
    ASSERT_NO_FATAL_FAILURE(MakeSet(dir, originals));
    std::vector<uint8_t> index;
    ASSERT_TRUE(ReadWholeFile(dir / L"x.par2", index));
    const Md5Digest setId = SetIdOf(index);
    Md5Digest otherId = setId;
    otherId.bytes[0] ^= 1;
    // The first description in the index, for file ID and sizes.
    std::vector<uint8_t> description;
    for (size_t at : PacketStarts(index)) {
        if (std::equal(par2::kFileDescType, par2::kFileDescType + 16, index.begin() + at + 48)) {
            const size_t length = index[at + 8] | index[at + 9] << 8;
            description.assign(index.begin() + at + 64, index.begin() + at + length);
            break;
        }
    }
    ASSERT_FALSE(description.empty());
    const std::wstring firstName(description.begin() + 56,
                                 std::find(description.begin() + 56, description.end(), 0));
    uint64_t firstSize = 0;
    for (int i = 7; i >= 0; --i)
        firstSize = firstSize << 8 | description[48 + i];
    const auto named = [&](const std::string& name) {
        std::vector<uint8_t> body((56 + name.size() + 3) / 4 * 4);
        std::copy_n(description.begin(), 56, body.begin());
        std::copy(name.begin(), name.end(), body.begin() + 56);
        return MakePacket(par2::kFileDescType, setId, body);
    };
    std::string longest;
    for (int i = 0; i < 255; ++i)
        longest += "\xE4\xB8\x80"; // U+4E00, 3 bytes in UTF-8
    std::vector<uint8_t> mainOfMore(12 + 16 * 65535);
    PutLittle(mainOfMore, 0, 8192, 8);
    PutLittle(mainOfMore, 8, 65535, 4);
    for (size_t i = 12; i < mainOfMore.size(); ++i)
        mainOfMore[i] = static_cast<uint8_t>(i * 7 + i / 16);
    Md5 md5;
    md5.Update(mainOfMore.data(), mainOfMore.size());

    const struct {
        const char* what;
        std::vector<uint8_t> before; // put before the index's packets
        std::wstring name;           // the described file's name as loaded
    } cases[] = {
        {"a main packet of 65535 files", MakePacket(par2::kMainType, md5.Finish(), mainOfMore),
         firstName},
        {"a name of 255 units", named(longest), std::wstring(255, L'\u4E00')},
        {"a longer name", named(longest + "abcde"), firstName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = c.before;
        bytes.insert(bytes.end(), index.begin(), index.end());
        ASSERT_TRUE(WriteWholeFile(dir / L"x.par2", bytes));
        Par2Set set;
        ASSERT_TRUE(set.Load((dir / L"x").c_str())) << ::GetLastError();
        ASSERT_EQ(set.FileCount(), 3);
        const int32_t f = set.FindFile(c.name.c_str());
        ASSERT_GE(f, 0);
        EXPECT_EQ(set.FileName(f), c.name);
        EXPECT_EQ(set.FileSize(f), firstSize);
    }

    // Descriptions of another set, each different, more than the cap: the index's own come first.
    ASSERT_TRUE(WriteWholeFile(dir / L"x.par2", index));
    std::vector<uint8_t> many;
    for (uint32_t i = 0; many.size() < Scan::kMaxKeptBytes + 4 * MiB; ++i) {
        std::vector<uint8_t> body(Scan::kMaxDescriptionBody, 'n');
        PutLittle(body, 0, i, 4);
        const std::vector<uint8_t> packet = MakePacket(par2::kFileDescType, otherId, body);
        many.insert(many.end(), packet.begin(), packet.end());
    }
    ASSERT_TRUE(WriteWholeFile(dir / L"x.vol9+1.par2", many));
    Par2Set set;
    ASSERT_TRUE(set.Load((dir / L"x").c_str())) << ::GetLastError();
    EXPECT_EQ(set.FileCount(), 3);
    EXPECT_LE(set.Cost().work.bytesKept, Scan::kMaxKeptBytes);
    EXPECT_GT(set.Cost().work.bytesKept, Scan::kMaxKeptBytes - MiB);
}

// A set of as many files as there may be, each of one slice: every file is found by its ID and
// by its name.
TEST(Par2SetTest, TheLargestSetLoads) {
    constexpr int32_t kFiles = Par2Set::kMaxFiles;
    std::vector<uint8_t> main(12 + 16 * kFiles), index;
    PutLittle(main, 0, 16, 8);
    PutLittle(main, 8, kFiles, 4);
    for (int32_t i = 0; i < kFiles; ++i) {
        PutLittle(main, 12 + 16 * i, i, 4); // as bytes, not in the list's order
        PutLittle(main, 20 + 16 * i, 0x5EED, 8);
    }
    Md5 md5;
    md5.Update(main.data(), main.size());
    const Md5Digest setId = md5.Finish();
    index = MakePacket(par2::kMainType, setId, main);
    // Descriptions and checksums last file first, the order of no list.
    for (int32_t i = kFiles - 1; i >= 0; --i) {
        const std::string name = "big." + std::to_string(i + 1);
        std::vector<uint8_t> description((56 + name.size() + 3) / 4 * 4), checksums(36);
        std::copy_n(main.begin() + 12 + 16 * i, 16, description.begin());
        std::copy_n(main.begin() + 12 + 16 * i, 16, checksums.begin());
        PutLittle(description, 48, 1 + i % 16, 8);
        std::copy(name.begin(), name.end(), description.begin() + 56);
        for (const auto& packet : {MakePacket(par2::kFileDescType, setId, description),
                                   MakePacket(par2::kSliceChecksumType, setId, checksums)})
            index.insert(index.end(), packet.begin(), packet.end());
    }
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir / L"big.par2", index));
    Par2Set set;
    ASSERT_TRUE(set.Load((dir / L"big").c_str())) << ::GetLastError();
    ASSERT_EQ(set.FileCount(), kFiles);
    EXPECT_EQ(set.TotalSlices(), kFiles);
    for (int32_t i = 0; i < kFiles; ++i) {
        const int32_t f = set.FindFile((L"BIG." + std::to_wstring(i + 1)).c_str());
        ASSERT_EQ(f, i);
        ASSERT_EQ(set.FileSize(f), 1u + i % 16);
    }
    EXPECT_EQ(set.FindFile(L"big.0"), -1);

    // One file more is no set.
    PutLittle(main, 8, kFiles + 1, 4);
    main.resize(main.size() + 16);
    md5.Update(main.data(), main.size());
    ASSERT_TRUE(WriteWholeFile(dir / L"big.par2", MakePacket(par2::kMainType, md5.Finish(), main)));
    EXPECT_FALSE(set.Load((dir / L"big").c_str()));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

} // namespace
