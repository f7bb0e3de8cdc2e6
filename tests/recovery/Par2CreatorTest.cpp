#include "recovery/Par2Creator.h"
#include "recovery/RecoveryFiles.h"

#include "support/TestFiles.h"

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
