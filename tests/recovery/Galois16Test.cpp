#include "recovery/Galois16.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <vector>

using namespace testing_support;

// The first slice constants, as the format lists them: the reduction by 0x1100B shows from 4107.
TEST(Galois16Test, SliceConstants) {
    uint32_t exponent = 0;
    for (uint16_t constant : {2, 4, 16, 128, 256, 2048, 8192, 16384, 4107, 32856, 17132}) {
        exponent = Galois16::NextFullOrderExponent(exponent);
        EXPECT_EQ(Galois16::PowerOfTwo(exponent), constant) << "exponent " << exponent;
    }
}

// Each engine adds the same products as one multiplication per word does, at any length and
// alignment, source and target apart or the same.
TEST(Galois16Test, EveryEngineMultipliesAsTheFieldDoes) {
    const std::vector<uint8_t> data = MakePattern(4096 + 64, 9);
    const Galois16::Engine picked = Galois16::CurrentEngine();
    for (const Galois16::Engine engine : {Galois16::Engine::Portable, Galois16::Engine::Ssse3,
                                          Galois16::Engine::Avx2, Galois16::Engine::Gfni}) {
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
