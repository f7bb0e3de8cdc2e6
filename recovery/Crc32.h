#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32 as zlib, PKZIP and Ethernet have it (reflected polynomial 0xEDB88320, all ones in and
// out), of a stream fed in pieces.
class Crc32 {
public:
    void Reset() { inverted = 0xFFFFFFFFu; }
    void Update(const void* data, size_t size);
    // The checksum of everything fed since the last reset; feeding may go on.
    uint32_t Value() const { return ~inverted; }

    // How Update works: eight bytes at a time through tables, or 64 at a time through the
    // processor's carry-less multiplication, picked at the first use.
    enum class Engine { Portable, Pclmul };
    static Engine CurrentEngine();
    // For tests and benchmarks; false when the processor lacks it.
    static bool UseEngine(Engine engine);

private:
    uint32_t inverted = 0xFFFFFFFFu;
};
