#include "recovery/Crc32.h"

#include <gtest/gtest.h>

#include <string>

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
