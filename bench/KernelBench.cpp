// Throughput of the recovery data's kernels on one thread, each way this machine can run them:
// MD5 (of one stream and of two side by side), CRC32, the two in one pass as a slice is hashed, and
// the field's multiply-add. Prints MiB/s; run by hand (scripts/bench-recovery.sh prints it first).
#include "BenchClock.h"

#include "recovery/Crc32.h"
#include "recovery/Galois16.h"
#include "recovery/Md5.h"
#include "recovery/InCachePieces.h"

#include <cstdio>
#include <vector>

namespace {

constexpr size_t kBuffer = 16 * 1024 * 1024;
constexpr int kRounds = 8;

template <class Work> void Measure(const char* what, Work work) {
    const double start = bench::Now();
    for (int i = 0; i < kRounds; ++i)
        work();
    const double seconds = bench::Now() - start;
    printf("  %-34s %8.0f MiB/s\n", what,
           static_cast<double>(kBuffer) * kRounds / 1048576.0 / seconds);
}

} // namespace

int wmain() {
    std::vector<uint8_t> data(kBuffer), target(kBuffer);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 131 + (i >> 13));
    printf("kernels, one thread, %d x %zu MiB:\n", kRounds, kBuffer >> 20);
    volatile uint32_t sink = 0;
    Md5 md5;
    Measure("MD5", [&] { md5.Update(data.data(), data.size()); });
    sink = sink + md5.Finish().bytes[0];
    // A file's hash and its slice's, as a split makes them; the figure counts the bytes once.
    Md5 other;
    Measure("MD5, two streams side by side",
            [&] { Md5::UpdateBoth(md5, other, data.data(), data.size()); });
    sink = sink + md5.Finish().bytes[0] + other.Finish().bytes[0];
    const Crc32::Engine crcPicked = Crc32::CurrentEngine();
    for (const auto& [engine, name] : {std::pair{Crc32::Engine::Portable, "CRC32, tables"},
                                       std::pair{Crc32::Engine::Pclmul, "CRC32, PCLMULQDQ"}}) {
        if (!Crc32::UseEngine(engine))
            continue;
        Crc32 crc;
        Measure(name, [&] { crc.Update(data.data(), data.size()); });
        sink = sink + crc.Value();
    }
    Crc32::UseEngine(crcPicked);
    Crc32 crc;
    Measure("MD5 and CRC32 in one pass", [&] {
        InCachePieces(data.data(), data.size(), [&](const uint8_t* piece, size_t size) {
            md5.Update(piece, size);
            crc.Update(piece, size);
        });
    });
    sink = sink + crc.Value() + md5.Finish().bytes[0];
    Measure("two MD5 and CRC32 in one pass", [&] {
        InCachePieces(data.data(), data.size(), [&](const uint8_t* piece, size_t size) {
            Md5::UpdateBoth(md5, other, piece, size);
            crc.Update(piece, size);
        });
    });
    sink = sink + crc.Value() + md5.Finish().bytes[0] + other.Finish().bytes[0];
    const Galois16::Engine picked = Galois16::CurrentEngine();
    for (const auto& [engine, name] :
         {std::pair{Galois16::Engine::Portable, "field multiply-add, tables"},
          std::pair{Galois16::Engine::Ssse3, "field multiply-add, SSSE3"},
          std::pair{Galois16::Engine::Avx2, "field multiply-add, AVX2"},
          std::pair{Galois16::Engine::Gfni, "field multiply-add, GFNI"}}) {
        if (!Galois16::UseEngine(engine))
            continue;
        Measure(name,
                [&] { Galois16::MultiplyAdd(0x8D3B, data.data(), target.data(), data.size()); });
    }
    Galois16::UseEngine(picked);
    sink = sink + target[12345];
    return 0;
}
