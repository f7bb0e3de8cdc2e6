#include "support/Par2TestSets.h"

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
        // Junk that puts the first packet's magic across the end of the first read.
        {L"x.vol1+2.par2", [](std::vector<uint8_t>& b) { b.insert(b.begin(), 1048572, 'P'); }, 6},
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
            EXPECT_TRUE(Md5Of(originals[i]) == set.FileHash(f)) << i;
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

// 16 MiB of junk beside a whole set, each 64 bytes a packet header whose length lies, or random:
// the set loads in steps that each read a window and a probe at most, the progress only grows,
// and the whole costs the bytes read once and hashed kOpenMost times at most.
TEST(Par2SetTest, JunkCostsItsBytesOnceInBoundedSteps) {
    const struct {
        const uint8_t* type; // null: random bytes
        uint64_t length;     // 0: to the end
    } cases[] = {{nullptr, 0},
                 {par2::kCreatorType, 0},
                 {par2::kMainType, MiB},
                 {par2::kRecoveryType, 0},
                 {par2::kFileDescType, par2::kHeaderBytes + Scan::kMaxDescriptionBody},
                 {par2::kSliceChecksumType, par2::kHeaderBytes + Scan::kMaxChecksumsBody}};
    TempDir dir;
    std::vector<std::vector<uint8_t>> originals;
    ASSERT_NO_FATAL_FAILURE(MakeSet(dir, originals));
    for (const auto& c : cases) {
        std::vector<uint8_t> junk = MakePattern(16 * MiB, 99);
        for (size_t at = 0; c.type && at < junk.size(); at += par2::kHeaderBytes) {
            par2::PutBytes(&junk[at], par2::Header::kMagic, par2::kMagic);
            par2::Put(&junk[at], par2::Header::kLength, c.length ? c.length : junk.size() - at);
            par2::PutBytes(&junk[at], par2::Header::kType, c.type);
        }
        ASSERT_TRUE(WriteWholeFile(dir / L"x.vol9+1.par2", junk));
        Par2Set set;
        ASSERT_TRUE(set.BeginLoad((dir / L"x").c_str()));
        Par2Set::LoadCost last = set.Cost();
        float progress = 0.0f;
        Par2Set::LoadStep step = Par2Set::LoadStep::Working;
        for (int calls = 0; step == Par2Set::LoadStep::Working; ++calls) {
            ASSERT_LT(calls, 200);
            step = set.LoadMore();
            ASSERT_EQ(set.Cost().steps, last.steps + 1);
            ASSERT_LE(set.Cost().work.bytesRead - last.work.bytesRead,
                      Scan::kWindowBytes + Scan::kProbeBytes);
            ASSERT_GE(set.LoadProgress(), progress);
            progress = set.LoadProgress();
            last = set.Cost();
        }
        ASSERT_EQ(step, Par2Set::LoadStep::Done) << ::GetLastError();
        EXPECT_EQ(progress, 1.0f);
        EXPECT_EQ(set.FileCount(), 3);
        EXPECT_EQ(set.RecoveryBlockCount(), 6);
        EXPECT_LE(last.work.bytesHashed, Scan::kOpenMost * 17 * MiB);
        EXPECT_LE(last.work.bytesRead, 2 * 17 * MiB);
    }
}

// What is kept is capped at what the largest set needs: the main packet of a set of more files
// is passed over, so is a name longer than a folder's names can be, and packets past the cap.
TEST(Par2SetTest, KeptPacketsAreCapped) {
    TempDir dir;
    std::vector<std::vector<uint8_t>> originals;
    ASSERT_NO_FATAL_FAILURE(MakeSet(dir, originals));
    std::vector<uint8_t> index, main = MakeIndex(8192, std::vector<IndexFile>(65535)), many;
    main.resize(par2::Get(main.data(), par2::Header::kLength));
    ASSERT_TRUE(ReadWholeFile(dir / L"x.par2", index));
    std::string longest;
    for (int i = 0; i < 255; ++i)
        longest += "\xE4\xB8\x80"; // U+4E00, 3 bytes in UTF-8
    const struct {
        std::vector<uint8_t> before; // the index's first packets
        const wchar_t* name;         // of its first file as loaded, null: as made
    } cases[] = {{main, nullptr}, {index, nullptr}, {index, L"\u4E00"}, {index, nullptr}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::vector<uint8_t> bytes = cases[i].before;
        if (i >= 2) { // a description of the first file, with another name
            Describe(bytes, i == 2 ? longest : longest + "abcde", 0);
            bytes.resize(par2::Get(bytes.data(), par2::Header::kLength));
        }
        bytes.insert(bytes.end(), index.begin(), index.end());
        ASSERT_TRUE(WriteWholeFile(dir / L"x.par2", bytes));
        Par2Set set;
        ASSERT_TRUE(set.Load((dir / L"x").c_str())) << ::GetLastError();
        ASSERT_EQ(set.FileCount(), 3);
        const std::wstring name = cases[i].name ? std::wstring(255, L'\u4E00') : L"";
        EXPECT_EQ(set.FindFile(name.c_str()) >= 0, cases[i].name != nullptr) << i;
    }
    // Descriptions of another set, each different, more than the cap; the index's come first.
    ASSERT_TRUE(WriteWholeFile(dir / L"x.par2", index));
    for (uint32_t i = 0; many.size() < Scan::kMaxKeptBytes + 4 * MiB; ++i) {
        std::vector<uint8_t> body(Scan::kMaxDescriptionBody);
        par2::PutLe(body.data(), i, 4);
        const std::vector<uint8_t> packet = MakePacket(par2::kFileDescType, {}, body);
        many.insert(many.end(), packet.begin(), packet.end());
    }
    ASSERT_TRUE(WriteWholeFile(dir / L"x.vol9+1.par2", many));
    Par2Set set;
    ASSERT_TRUE(set.Load((dir / L"x").c_str())) << ::GetLastError();
    EXPECT_LE(set.Cost().work.bytesKept, Scan::kMaxKeptBytes);
    EXPECT_GT(set.Cost().work.bytesKept, Scan::kMaxKeptBytes - MiB);
}

// A set of as many files as there may be, described in another order than listed, each file one
// slice: every file is found by its ID and by its name; one file more is no set.
TEST(Par2SetTest, TheLargestSetLoads) {
    constexpr int32_t kFiles = Par2Set::kMaxFiles;
    std::vector<IndexFile> files;
    for (int32_t i = 0; i < kFiles; ++i)
        files.push_back({"big." + std::to_string(i + 1), 1u + i % 16});
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir / L"big.par2", MakeIndex(16, files)));
    Par2Set set;
    ASSERT_TRUE(set.Load((dir / L"big").c_str())) << ::GetLastError();
    ASSERT_EQ(set.FileCount(), kFiles);
    for (int32_t i = 0; i < kFiles; ++i) {
        ASSERT_EQ(set.FindFile((L"BIG." + std::to_wstring(i + 1)).c_str()), i);
        ASSERT_EQ(set.FileSize(i), 1u + i % 16);
    }
    // Every file described, and fewer slices than a set may hold: only the count is too many.
    for (IndexFile& file : files)
        file.size -= 1;
    files.push_back({"big.0", 1});
    ASSERT_TRUE(WriteWholeFile(dir / L"big.par2", MakeIndex(16, files)));
    EXPECT_FALSE(set.Load((dir / L"big").c_str()));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

} // namespace
