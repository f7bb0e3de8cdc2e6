#pragma once

#include <cstddef>
#include <cstdint>

// Runs the SHA-256 compression over count 64-byte blocks.
using Sha256Blocks = void (*)(uint32_t state[8], const uint8_t* data, size_t count);

extern const uint32_t kSha256RoundConstants[64];

void Sha256BlocksPortable(uint32_t state[8], const uint8_t* data, size_t count);
// Only on a processor with the SHA extensions and SSE4.1 (Sha256::HasShaExtensions).
void Sha256BlocksShaExtensions(uint32_t state[8], const uint8_t* data, size_t count);
