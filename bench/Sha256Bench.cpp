// SHA-256 throughput of each way this machine can hash: the plain code, the processor's SHA
// extensions, and the system's CNG (bcrypt). Prints MiB/s; run by hand.
#include "BenchClock.h"

#include "recovery/Sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstdio>
#include <vector>

namespace {

constexpr size_t kBuffer = 16 * 1024 * 1024;
constexpr int kRounds = 16;

void Report(const char* what, double seconds) {
    const double mib = static_cast<double>(kBuffer) * kRounds / (1024.0 * 1024.0);
    printf("%-28s %8.0f MiB/s\n", what, mib / seconds);
}

void Ours(const char* what, const std::vector<unsigned char>& data) {
    Sha256 sha;
    const double start = bench::Now();
    for (int i = 0; i < kRounds; ++i)
        sha.Update(data.data(), data.size());
    volatile unsigned char sink = sha.Final().bytes[0];
    (void)sink;
    Report(what, bench::Now() - start);
}

// A part and the whole file from the same data, as a split hashes them: the figure is the rate of
// the data, not of the two streams together.
void OursTwo(const char* what, const std::vector<unsigned char>& data) {
    Sha256 part, whole;
    const double start = bench::Now();
    for (int i = 0; i < kRounds; ++i)
        Sha256::UpdateBoth(part, whole, data.data(), data.size());
    volatile unsigned char sink = part.Final().bytes[0] ^ whole.Final().bytes[0];
    (void)sink;
    Report(what, bench::Now() - start);
}

void Cng(const std::vector<unsigned char>& data) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0 ||
        ::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) < 0) {
        printf("CNG: not available\n");
        return;
    }
    const double start = bench::Now();
    for (int i = 0; i < kRounds; ++i)
        ::BCryptHashData(hash, const_cast<unsigned char*>(data.data()),
                         static_cast<ULONG>(data.size()), 0);
    unsigned char digest[32];
    ::BCryptFinishHash(hash, digest, sizeof digest, 0);
    const double seconds = bench::Now() - start;
    ::BCryptDestroyHash(hash);
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    Report("CNG (bcrypt)", seconds);
}

} // namespace

int wmain() {
    std::vector<unsigned char> data(kBuffer);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i * 131 + (i >> 13));
    printf("SHA-256 over %d x %zu MiB\n", kRounds, kBuffer >> 20);
    Sha256::UseEngine(Sha256::Engine::Portable);
    Ours("portable", data);
    OursTwo("portable, two streams", data);
    if (Sha256::UseEngine(Sha256::Engine::ShaExtensions)) {
        Ours("SHA extensions", data);
        OursTwo("SHA extensions, two streams", data);
    } else
        printf("SHA extensions: not on this processor\n");
    Cng(data);
    return 0;
}
