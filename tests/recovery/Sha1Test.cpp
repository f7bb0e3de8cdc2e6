#include "recovery/Sha1.h"

#include <windows.h>

#include <bcrypt.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Hex(const Sha1Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t byte : digest.bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

std::string DigestOf(const std::string& text) {
    Sha1 sha;
    sha.Update(text.data(), text.size());
    return Hex(sha.Finish());
}

// The system's own SHA-1, to hold ours against.
std::string SystemSha1(const std::vector<uint8_t>& data) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    Sha1Digest digest{};
    bool ok = ::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA1_ALGORITHM, nullptr, 0) >= 0 &&
              ::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0 &&
              ::BCryptHashData(hash, const_cast<UCHAR*>(data.data()),
                               static_cast<ULONG>(data.size()), 0) >= 0 &&
              ::BCryptFinishHash(hash, digest.bytes, sizeof digest.bytes, 0) >= 0;
    if (hash)
        ::BCryptDestroyHash(hash);
    if (algorithm)
        ::BCryptCloseAlgorithmProvider(algorithm, 0);
    return ok ? Hex(digest) : std::string();
}

// The examples of FIPS 180-4 and its companion example document.
TEST(Sha1Test, StandardExamples) {
    EXPECT_EQ(DigestOf(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(DigestOf("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(DigestOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(DigestOf(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

// Fed in pieces of every size around the 64-byte block and its 56-byte padding edge, the digest
// is the system's for every length there.
TEST(Sha1Test, PiecesAndLengthsAgreeWithTheSystem) {
    std::vector<uint8_t> data(300);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 131 + 7);
    for (size_t length : {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 128, 300}) {
        const std::vector<uint8_t> some(data.begin(), data.begin() + static_cast<long>(length));
        for (size_t piece : {1, 3, 63, 64, 65, 300}) {
            SCOPED_TRACE(testing::Message() << length << " bytes in pieces of " << piece);
            Sha1 sha;
            for (size_t at = 0; at < length; at += piece)
                sha.Update(some.data() + at, std::min(piece, length - at));
            EXPECT_EQ(Hex(sha.Finish()), SystemSha1(some));
        }
    }
    // Finish starts the object over.
    Sha1 sha;
    sha.Update("abc", 3);
    sha.Finish();
    EXPECT_EQ(Hex(sha.Finish()), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

} // namespace
