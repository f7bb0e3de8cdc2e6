#pragma once

#include <cstddef>
#include <cstdint>

// Runs the SHA-256 compression over count 64-byte blocks.
using Sha256Blocks = void (*)(uint32_t state[8], const uint8_t* data, size_t count);

// Runs it over the same blocks for two states at once: the message schedule is worked out once,
// and the two chains of rounds interleave.
using Sha256BlocksTwo = void (*)(uint32_t first[8], uint32_t second[8], const uint8_t* data,
                                 size_t count);

extern const uint32_t kSha256RoundConstants[64];

void Sha256BlocksPortable(uint32_t state[8], const uint8_t* data, size_t count);
// Only on a processor with the SHA extensions and SSE4.1 (Sha256::HasShaExtensions).
void Sha256BlocksShaExtensions(uint32_t state[8], const uint8_t* data, size_t count);

void Sha256BlocksTwoPortable(uint32_t first[8], uint32_t second[8], const uint8_t* data,
                             size_t count);
void Sha256BlocksTwoShaExtensions(uint32_t first[8], uint32_t second[8], const uint8_t* data,
                                  size_t count);
