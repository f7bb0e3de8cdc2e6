#include "recovery/Sha1.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Hex(const Sha1Digest& digest) {
    std::string hex;
    for (uint8_t byte : digest.bytes) {
        hex += "0123456789abcdef"[byte >> 4];
        hex += "0123456789abcdef"[byte & 15];
    }
    return hex;
}

// The examples of FIPS 180-4 and its companion document, each fed whole and in pieces of sizes
// around the 64-byte block; Finish starts the object over.
TEST(Sha1Test, StandardExamples) {
    const std::pair<std::string, const char*> examples[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    Sha1 sha;
    for (const auto& example : examples) {
        for (size_t piece : {size_t{1}, size_t{55}, size_t{64}, size_t{65}, example.first.size()}) {
            SCOPED_TRACE(testing::Message() << example.second << " in pieces of " << piece);
            for (size_t at = 0; at < example.first.size(); at += piece)
                sha.Update(example.first.data() + at, std::min(piece, example.first.size() - at));
            EXPECT_EQ(Hex(sha.Finish()), example.second);
        }
    }
}

} // namespace
