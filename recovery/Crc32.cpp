#include "recovery/Crc32.h"

namespace {

// Eight tables, so that eight bytes go through at a time: table k gives the effect of a byte
// followed by k zero bytes.
struct CrcTables {
    uint32_t t[8][256];

    constexpr CrcTables() : t{} {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][n] = c;
        }
        for (uint32_t n = 0; n < 256; ++n) {
            for (int k = 1; k < 8; ++k)
                t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
        }
    }
};

constexpr CrcTables kTables;

} // namespace

void Crc32::Update(const void* data, size_t size) {
    const uint8_t* in = static_cast<const uint8_t*>(data);
    uint32_t c = inverted;
    for (; size >= 8; size -= 8, in += 8) {
        const uint32_t low =
            c ^ (static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
                 (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24));
        c = kTables.t[7][low & 0xFF] ^ kTables.t[6][(low >> 8) & 0xFF] ^
            kTables.t[5][(low >> 16) & 0xFF] ^ kTables.t[4][low >> 24] ^ kTables.t[3][in[4]] ^
            kTables.t[2][in[5]] ^ kTables.t[1][in[6]] ^ kTables.t[0][in[7]];
    }
    for (; size != 0; --size, ++in)
        c = kTables.t[0][(c ^ *in) & 0xFF] ^ (c >> 8);
    inverted = c;
}
