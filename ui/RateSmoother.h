#pragma once

#include <cstdint>

// The speed of a transfer over its last few seconds, from (time, bytes done) samples taken every
// so often. Samples older than the window drop out, so a change of pace shows within it, while
// the bursts of single chunks are evened out.
class RateSmoother {
public:
    static constexpr uint64_t kWindowMs = 5000;
    // No speed is told from less: over a shorter time one chunk more or less swings it wildly.
    static constexpr uint64_t kMinSpanMs = 1000;

    void Reset() { first = count = 0; }
    // Samples come in time order; one no later than the last replaces the last one's count.
    void Add(uint64_t timeMs, uint64_t doneBytes);
    // Bytes per second over the samples kept; false while they span less than kMinSpanMs.
    bool Rate(double& bytesPerSecond) const;
    // Time between the oldest and the newest sample kept.
    uint64_t SpanMs() const;

private:
    struct Sample {
        uint64_t timeMs;
        uint64_t doneBytes;
    };
    // More than a window's worth at two samples a second; when full, the oldest goes.
    static constexpr int kCapacity = 32;

    Sample& At(int i) { return samples[(first + i) % kCapacity]; }
    const Sample& At(int i) const { return samples[(first + i) % kCapacity]; }
    void DropOldest();

    Sample samples[kCapacity]{};
    int first = 0;
    int count = 0;
};
