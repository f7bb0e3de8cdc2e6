#include "ui/RateSmoother.h"

void RateSmoother::DropOldest() {
    first = (first + 1) % kCapacity;
    --count;
}

void RateSmoother::Add(uint64_t timeMs, uint64_t doneBytes) {
    if (count != 0 && timeMs <= At(count - 1).timeMs) {
        At(count - 1).doneBytes = doneBytes;
        return;
    }
    if (count == kCapacity)
        DropOldest();
    At(count) = Sample{timeMs, doneBytes};
    ++count;
    // Keep the newest sample at or before the window's start as the base, so that the speed
    // is always taken over a whole window once there is that much history.
    while (count >= 2 && At(1).timeMs + kWindowMs <= timeMs)
        DropOldest();
}

uint64_t RateSmoother::SpanMs() const {
    return count < 2 ? 0 : At(count - 1).timeMs - At(0).timeMs;
}

bool RateSmoother::Rate(double& bytesPerSecond) const {
    const uint64_t span = SpanMs();
    if (span < kMinSpanMs || span == 0)
        return false;
    const uint64_t from = At(0).doneBytes, to = At(count - 1).doneBytes;
    const uint64_t moved = to > from ? to - from : 0;
    bytesPerSecond = static_cast<double>(moved) * 1000.0 / static_cast<double>(span);
    return true;
}
