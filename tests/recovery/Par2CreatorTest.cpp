#include "recovery/Par2Creator.h"
#include "recovery/RecoveryFiles.h"

#include "support/TestFiles.h"

#include "toolkit/Handle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace testing_support;

// What Start refuses, and streams that don't match what the creator was told.
TEST(Par2CreatorTest, Refusals) {
    const struct {
        const wchar_t* name;
        uint64_t size;
        uint32_t sliceSize;
        int32_t blocks;
    } refused[] = {
        {L"a.001", 100, 6, 1},       // a slice size of no whole 4-byte words
        {L"a.001", 0, 4, 1},         // an empty file
        {L"dir\\a.001", 100, 4, 1},  // a name with a folder
        {L"a.001", 4 * 32769, 4, 1}, // more slices than there are constants
        {L"a.001", 100, 4, 32769},   // more blocks than there are exponents
    };
    for (const auto& c : refused) {
        Par2Creator creator;
        EXPECT_FALSE(creator.Start(&c.name, &c.size, 1, c.sliceSize, c.blocks)) << c.sliceSize;
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    const wchar_t* name = L"a.001";
    const uint64_t size = 20000;
    std::vector<uint8_t> data = MakePattern(size);
    Par2Creator creator;
    ASSERT_TRUE(creator.Start(&name, &size, 1, 4096, 2));
    EXPECT_FALSE(creator.AddData(data.data(), 1)) << "before the head";
    ASSERT_TRUE(creator.Start(&name, &size, 1, 4096, 2));
    ASSERT_TRUE(creator.SetFileHead(0, data.data(), Par2Creator::kHeadBytes));
    data[100] ^= 1; // the file changed after its head was read
    EXPECT_FALSE(creator.AddData(data.data(), data.size()));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    data[100] ^= 1;
    ASSERT_TRUE(creator.Start(&name, &size, 1, 4096, 2));
    ASSERT_TRUE(creator.SetFileHead(0, data.data(), Par2Creator::kHeadBytes));
    data.push_back(0);
    EXPECT_FALSE(creator.AddData(data.data(), data.size())) << "more bytes than the size";
}

// Parts of a split and their recovery set, for scripts/par2-test.sh to check and repair with par2:
// the folder comes in BRINDLECOT_PAR2_DIR.
TEST(InteropPar2Test, MakesSetForParts) {
    wchar_t folder[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(L"BRINDLECOT_PAR2_DIR", folder, MAX_PATH))
        GTEST_SKIP() << "run through scripts/par2-test.sh";
    // A name beyond ASCII, which the set holds in UTF-8 as par2 finds it on the disk.
    const std::wstring base = std::wstring(folder) + L"\\tr\u00efp.avi";
    const uint64_t sizes[] = {300000, 300000, 300000, 123458};
    std::vector<std::wstring> names;
    std::vector<const wchar_t*> nameTexts;
    std::vector<uint8_t> stream;
    for (unsigned i = 0; i < 4; ++i) {
        names.push_back(L"tr\u00efp.avi.00" + std::to_wstring(i + 1));
        const std::vector<uint8_t> part = MakePattern(sizes[i], i + 1);
        ASSERT_TRUE(WriteWholeFile(std::wstring(folder) + L"\\" + names[i], part));
        stream.insert(stream.end(), part.begin(), part.end());
    }
    for (const std::wstring& name : names)
        nameTexts.push_back(name.c_str());

    Par2Creator creator;
    ASSERT_TRUE(creator.Start(nameTexts.data(), sizes, 4, 65536, 10));
    for (int i = 0, at = 0; i < 4; at += static_cast<int>(sizes[i++]))
        ASSERT_TRUE(creator.SetFileHead(i, stream.data() + at, Par2Creator::kHeadBytes));
    // Pieces that end in odd places, across the parts' ends.
    for (size_t at = 0; at < stream.size(); at += 7777)
        ASSERT_TRUE(
            creator.AddData(stream.data() + at, std::min<size_t>(7777, stream.size() - at)));
    RecoveryFiles files, again;
    ASSERT_TRUE(files.Create(creator, base.c_str()) && files.Complete(creator)) << ::GetLastError();
    // Nothing is written over: the set made stays as it is, for the script to check.
    EXPECT_FALSE(again.Create(creator, base.c_str()));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
}

namespace {

// Files of odd sizes, so that 16-bit words straddle the pieces and the files' ends.
const wchar_t* const kNames[] = {L"a.001", L"a.002", L"a.003", L"a.004"};
const uint64_t kSizes[] = {12345, 1, 40000, 7777};
constexpr uint32_t kSliceSize = 4096;
constexpr int32_t kBlocks = 5;

// Every file of the set the creator made, in order, written through its handle in steps of `most`
// bytes and read back. The recovery packets of every file go first; `between` runs before the
// rest, and finishes the hashing where the creator was not finished yet.
template <class Between>
std::vector<std::vector<uint8_t>> Outputs(Par2Creator& creator, const TempDir& dir, uint32_t most,
                                          Between between) {
    const int32_t count = creator.OutputCount();
    std::vector<std::wstring> paths;
    std::vector<FileHandle> files(count);
    std::vector<Par2Creator::OutputCursor> cursors(count);
    const auto writeWhile = [&](int32_t i, auto more) {
        while (more() && creator.WriteOutputStep(i, cursors[i], files[i].Get(), most)) {
        }
        EXPECT_FALSE(more()) << ::GetLastError();
    };
    for (int32_t i = 0; i < count; ++i) {
        paths.push_back(dir / (L"out" + std::to_wstring(i)));
        files[i].Reset(
            ::CreateFileW(paths[i].c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        EXPECT_TRUE(files[i].IsSet());
        writeWhile(i, [&] { return !creator.BlocksWritten(i, cursors[i]); });
    }
    between();
    std::vector<std::vector<uint8_t>> outputs(count);
    for (int32_t i = 0; i < count; ++i) {
        writeWhile(i, [&] { return !cursors[i].done; });
        files[i].Reset();
        EXPECT_TRUE(ReadWholeFile(paths[i], outputs[i]));
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

// The stream laid out, hashed and added lane by lane (each lane the files and blocks that fall to
// it), in pieces of odd sizes, and its last hashes shared out too, makes the same set, byte for
// byte, as the same stream added and finished at once, however many lanes share out the files and
// the blocks (also more lanes than files or blocks), and in whatever steps the files are written.
TEST(Par2CreatorTest, LanesMakeTheSameSetAsOneThread) {
    TempDir dir(L"lanes");
    const std::vector<uint8_t> stream = MakePattern(12345 + 1 + 40000 + 7777, 9);
    Par2Creator whole;
    ASSERT_TRUE(StartWithHeads(whole, stream));
    ASSERT_TRUE(whole.AddData(stream.data(), stream.size()));
    ASSERT_TRUE(whole.FinishAll());
    const auto expected = Outputs(whole, dir, UINT32_MAX, [] {});
    ASSERT_EQ(expected.size(), 4u); // the index and volumes of 1, 2 and 2 blocks
    for (const int32_t lanes : {1, 2, 3, 8}) {
        SCOPED_TRACE(lanes);
        Par2Creator creator;
        ASSERT_TRUE(StartWithHeads(creator, stream));
        for (size_t at = 0; at < stream.size(); at += 997) {
            const size_t n = stream.size() - at < 997 ? stream.size() - at : 997;
            DynArray<Par2Creator::Run> runs;
            ASSERT_TRUE(creator.PlanData(n, runs));
            // The lanes in reverse, as threads may take them.
            for (int32_t lane = lanes - 1; lane >= 0; --lane) {
                ASSERT_TRUE(
                    creator.HashRuns(stream.data() + at, runs.Items(), runs.Count(), lane, lanes));
                creator.AddRunsToBlocks(stream.data() + at, runs.Items(), runs.Count(), lane,
                                        lanes);
            }
        }
        // The last hashes too go lane by lane, while the recovery packets are written; the
        // description that ends each file waits for them.
        ASSERT_TRUE(creator.PrepareFinish());
        const auto finish = [&] {
            for (int32_t lane = lanes - 1; lane >= 0; --lane)
                creator.FinishHashes(lane, lanes);
            EXPECT_TRUE(creator.HashesFinished());
        };
        EXPECT_TRUE(Outputs(creator, dir, 1000u + 7 * static_cast<uint32_t>(lanes), finish) ==
                    expected);
    }
}

} // namespace
