#include "recovery/Crc32.h"
#include "recovery/Md5.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Hex(const Md5Digest& digest) {
    char hex[33];
    for (int i = 0; i < 16; ++i)
        snprintf(hex + 2 * i, 3, "%02x", digest.bytes[i]);
    return hex;
}

} // namespace

// RFC 1321's examples, fed whole and three bytes at a time.
TEST(Md5Test, Md5Examples) {
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
            EXPECT_EQ(Hex(md5.Finish()), c.md5) << '"' << text << "\" in pieces of " << piece;
        }
    }
}

// A file's hash and its slice's, fed together as a split makes them: the slice's stream starts
// some bytes after the file's, at the same place in its 64-byte block or another, and both must
// come out as the system's digests of their bytes.
TEST(Md5Test, TwoStreamsFedTogether) {
    std::vector<uint8_t> data(5000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 13 + 5);
    for (size_t sliceStart : {0u, 64u, 100u, 128u, 131u}) {
        SCOPED_TRACE(sliceStart);
        Md5 file, slice;
        file.Update(data.data(), sliceStart);
        for (size_t at = sliceStart, step = 1; at < data.size();
             at += step, step = step * 5 % 700 + 1)
            Md5::UpdateBoth(file, slice, data.data() + at, std::min(step, data.size() - at));
        EXPECT_EQ(Hex(file.Finish()), testing_support::SystemHash(L"MD5", data));
        EXPECT_EQ(Hex(slice.Finish()), testing_support::SystemHash(L"MD5", data.data() + sliceStart,
                                                                   data.size() - sliceStart));
    }
}

// zlib's checksum, fed whole and after a first byte alone (so the 8-byte steps fall elsewhere).
TEST(Crc32Test, Crc32Examples) {
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

// Each engine gives the checksum the tables give, at lengths around its 16- and 64-byte steps and
// at any alignment, whole and after an odd first piece.
TEST(Crc32Test, EveryEngineAgrees) {
    const std::vector<uint8_t> data = testing_support::MakePattern(8192 + 64, 5);
    const Crc32::Engine picked = Crc32::CurrentEngine();
    for (const size_t size : {0, 15, 63, 64, 65, 79, 80, 127, 128, 129, 191, 1000, 8192}) {
        for (const size_t offset : {0, 1, 7}) {
            Crc32::UseEngine(Crc32::Engine::Portable);
            Crc32 expected;
            expected.Update(data.data() + offset, size);
            for (const Crc32::Engine engine : {Crc32::Engine::Portable, Crc32::Engine::Pclmul}) {
                if (!Crc32::UseEngine(engine))
                    continue;
                SCOPED_TRACE(testing::Message() << int(engine) << " " << size << "@" << offset);
                Crc32 whole, pieces;
                whole.Update(data.data() + offset, size);
                const size_t first = std::min<size_t>(size, 3);
                pieces.Update(data.data() + offset, first);
                pieces.Update(data.data() + offset + first, size - first);
                EXPECT_EQ(whole.Value(), expected.Value());
                EXPECT_EQ(pieces.Value(), expected.Value());
            }
        }
    }
    Crc32::UseEngine(picked);
}
