#include "recovery/Crc32.h"
#include "recovery/Md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

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
