#include "recovery/Crc32.h"
#include "recovery/Galois16.h"
#include "recovery/Md5.h"
#include "recovery/Par2Creator.h"
#include "recovery/RecoveryFiles.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

// RFC 1321's examples, fed whole and three bytes at a time.
TEST(Par2Checksums, Md5Examples) {
    const struct {
        const char* text;
        const char* md5;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        // 56 bytes: the length no longer fits the last block, and the padding takes another.
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
         "3b0c8ac703f828b04c6c197006d17218"},
    };
    for (const auto& c : cases) {
        const std::string text = c.text;
        for (size_t piece : {text.size() + 1, size_t{3}}) {
            Md5 md5;
            for (size_t at = 0; at < text.size(); at += piece)
                md5.Update(text.data() + at, std::min(piece, text.size() - at));
            const Md5Digest digest = md5.Finish();
            char hex[33];
            for (int i = 0; i < 16; ++i)
                snprintf(hex + 2 * i, 3, "%02x", digest.bytes[i]);
            EXPECT_EQ(std::string(hex), c.md5) << '"' << text << "\" in pieces of " << piece;
        }
    }
}

// zlib's checksum, fed whole and after a first byte alone (so the 8-byte steps fall elsewhere).
TEST(Par2Checksums, Crc32Examples) {
    const struct {
        const char* text;
        uint32_t crc;
    } cases[] = {
        {"", 0x00000000},
        {"a", 0xE8B7BE43},
        {"123456789", 0xCBF43926},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339},
    };
    for (const auto& c : cases) {
        const std::string text = c.text;
        Crc32 whole, split;
        whole.Update(text.data(), text.size());
        const size_t first = text.empty() ? 0 : 1;
        split.Update(text.data(), first);
        split.Update(text.data() + first, text.size() - first);
        EXPECT_EQ(whole.Value(), c.crc) << text;
        EXPECT_EQ(split.Value(), c.crc) << text;
    }
}

// The first slice constants, as the format lists them: the reduction by 0x1100B shows from 4107.
TEST(Par2Checksums, SliceConstants) {
    uint32_t exponent = 0;
    for (uint16_t constant : {2, 4, 16, 128, 256, 2048, 8192, 16384, 4107, 32856, 17132}) {
        exponent = Galois16::NextFullOrderExponent(exponent);
        EXPECT_EQ(Galois16::PowerOfTwo(exponent), constant) << "exponent " << exponent;
    }
}

// Each engine adds the same products as one multiplication per word does, at any length and
// alignment, source and target apart or the same.
TEST(Par2Checksums, EveryEngineMultipliesAsTheFieldDoes) {
    const std::vector<uint8_t> data = MakePattern(4096 + 64, 9);
    const Galois16::Engine picked = Galois16::CurrentEngine();
    for (const Galois16::Engine engine :
         {Galois16::Engine::Portable, Galois16::Engine::Ssse3, Galois16::Engine::Avx2}) {
        if (!Galois16::UseEngine(engine))
            continue;
        for (const size_t size : {2, 62, 64, 96, 130, 190, 4096}) {
            for (const size_t offset : {0, 1, 6}) {
                SCOPED_TRACE(testing::Message() << int(engine) << " " << size << "@" << offset);
                std::vector<uint8_t> target(data.rbegin(), data.rend()), expected = target;
                std::vector<uint8_t> same(data), scaled(data);
                for (size_t i = offset; i < offset + size; i += 2) {
                    const uint16_t word =
                        Galois16::Multiply(0x8D3B, uint16_t(data[i] | data[i + 1] << 8));
                    expected[i] ^= scaled[i] = uint8_t(word);
                    expected[i + 1] ^= scaled[i + 1] = uint8_t(word >> 8);
                }
                Galois16::MultiplyAdd(0x8D3B, data.data() + offset, target.data() + offset, size);
                EXPECT_EQ(target, expected);
                Galois16::MultiplyInPlace(0x8D3B, same.data() + offset, size);
                EXPECT_EQ(same, scaled);
            }
        }
    }
    Galois16::UseEngine(picked);
}

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

} // namespace
