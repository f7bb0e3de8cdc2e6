#include "recovery/Crc32.h"
#include "recovery/Md5.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

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
            const Md5Digest digest = md5.Finish();
            char hex[33];
            for (int i = 0; i < 16; ++i)
                snprintf(hex + 2 * i, 3, "%02x", digest.bytes[i]);
            EXPECT_EQ(std::string(hex), c.md5) << '"' << text << "\" in pieces of " << piece;
        }
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
