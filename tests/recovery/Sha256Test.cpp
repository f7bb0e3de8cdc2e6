#include "recovery/Sha256.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testing_support::DigestHex;

namespace {

std::string DigestOf(const std::string& text) {
    Sha256 sha;
    sha.Update(text.data(), text.size());
    return DigestHex(sha.Final());
}

// Every engine this processor can run, the plain one always; the process's own choice is put
// back afterwards.
class Sha256Test : public ::testing::TestWithParam<Sha256::Engine> {
protected:
    void SetUp() override {
        saved = Sha256::CurrentEngine();
        if (!Sha256::UseEngine(GetParam()))
            GTEST_SKIP() << "this processor has no SHA extensions";
    }
    void TearDown() override { Sha256::UseEngine(saved); }

private:
    Sha256::Engine saved = Sha256::Engine::Portable;
};

// The examples of FIPS 180-4 (and its companion example document).
TEST_P(Sha256Test, StandardExamples) {
    EXPECT_EQ(DigestOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(DigestOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(DigestOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(
        DigestOf("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmn"
                 "opqklmnopqrlmnopqrsmnopqrstnopqrstu"),
        "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    EXPECT_EQ(DigestOf(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Lengths around the padding edges, fed whole and in uneven pieces, give the system's digest.
TEST_P(Sha256Test, PiecesAndPaddingEdges) {
    std::vector<uint8_t> data(1000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7 + 3);
    for (size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 999u}) {
        SCOPED_TRACE(length);
        const std::string expected = testing_support::SystemSha256(data.data(), length);
        Sha256 whole;
        whole.Update(data.data(), length);
        EXPECT_EQ(DigestHex(whole.Final()), expected);
        Sha256 pieces;
        for (size_t at = 0, step = 1; at < length; at += step, step = step * 3 % 70 + 1)
            pieces.Update(data.data() + at, std::min(step, length - at));
        EXPECT_EQ(DigestHex(pieces.Final()), expected);
    }
}

// Two streams fed together, as a split hashes a part and the whole file from the same chunks: the
// part stream starts some bytes later than the whole one (at the same or another place in its
// block), and both must come out as the system's digests of the same bytes.
TEST_P(Sha256Test, TwoStreamsFedTogether) {
    std::vector<uint8_t> data(5000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 13 + 5);
    for (size_t partStart : {0u, 64u, 100u, 128u, 131u}) {
        SCOPED_TRACE(partStart);
        Sha256 whole, part;
        whole.Update(data.data(), partStart);
        for (size_t at = partStart, step = 1; at < data.size();
             at += step, step = step * 5 % 700 + 1)
            Sha256::UpdateBoth(part, whole, data.data() + at, std::min(step, data.size() - at));
        EXPECT_EQ(DigestHex(whole.Final()), testing_support::SystemSha256(data));
        EXPECT_EQ(DigestHex(part.Final()),
                  testing_support::SystemSha256(data.data() + partStart, data.size() - partStart));
    }
}

#if defined(__i386__)
// Windows calls a 32-bit program back (timer procedures, APCs) with its stack aligned to 4 bytes
// only. Calls routine(argument) with the stack that many bytes off a 16-byte boundary.
template <uint32_t kOffset> void CallOffTheBoundary(void (*routine)(void*), void* argument) {
    auto callee = reinterpret_cast<uintptr_t>(routine);
    asm volatile("movl %%esp, %%esi\n\t"
                 "andl $-16, %%esp\n\t"
                 "subl %[pad], %%esp\n\t"
                 "pushl %[argument]\n\t"
                 "call *%%eax\n\t"
                 "movl %%esi, %%esp"
                 : "+a"(callee)
                 : [argument] "r"(argument), [pad] "i"(12 + kOffset)
                 : "ecx", "edx", "esi", "memory", "cc");
}

void HashBothWays(void* result) {
    std::vector<uint8_t> data(4096 + 77, 0x5a);
    Sha256 whole, part;
    Sha256::UpdateBoth(part, whole, data.data(), data.size());
    whole.Update(data.data(), 100);
    *static_cast<std::string*>(result) = DigestHex(whole.Final()) + DigestHex(part.Final());
}

TEST_P(Sha256Test, HoldsUpOnAStackAlignedToFourBytesOnly) {
    std::string aligned, off4, off8, off12;
    CallOffTheBoundary<0>(HashBothWays, &aligned);
    CallOffTheBoundary<4>(HashBothWays, &off4);
    CallOffTheBoundary<8>(HashBothWays, &off8);
    CallOffTheBoundary<12>(HashBothWays, &off12);
    EXPECT_EQ(aligned.size(), 128u);
    EXPECT_EQ(off4, aligned);
    EXPECT_EQ(off8, aligned);
    EXPECT_EQ(off12, aligned);
}
#endif

std::string EngineName(const ::testing::TestParamInfo<Sha256::Engine>& engine) {
    return engine.param == Sha256::Engine::Portable ? "Portable" : "ShaExtensions";
}

INSTANTIATE_TEST_SUITE_P(Engines, Sha256Test,
                         ::testing::Values(Sha256::Engine::Portable, Sha256::Engine::ShaExtensions),
                         EngineName);

// This processor's own choice: the extensions whenever it has them.
TEST(Sha256Test, TheProcessorsExtensionsAreUsedWhenPresent) {
    EXPECT_EQ(Sha256::CurrentEngine(), Sha256::HasShaExtensions() ? Sha256::Engine::ShaExtensions
                                                                  : Sha256::Engine::Portable);
}

} // namespace
