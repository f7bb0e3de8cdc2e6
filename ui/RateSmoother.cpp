#include "ui/RateSmoother.h"

void RateSmoother::DropOldest() {
    first_ = (first_ + 1) % kCapacity;
    --count_;
}

void RateSmoother::Add(uint64_t timeMs, uint64_t doneBytes) {
    if (count_ != 0 && timeMs <= At(count_ - 1).timeMs) {
        At(count_ - 1).doneBytes = doneBytes;
        return;
    }
    if (count_ == kCapacity)
        DropOldest();
    At(count_) = Sample{timeMs, doneBytes};
    ++count_;
    // Keep the newest sample at or before the window's start as the base, so that the speed
    // is always taken over a whole window once there is that much history.
    while (count_ >= 2 && At(1).timeMs + kWindowMs <= timeMs)
        DropOldest();
}

uint64_t RateSmoother::SpanMs() const {
    return count_ < 2 ? 0 : At(count_ - 1).timeMs - At(0).timeMs;
}

bool RateSmoother::Rate(double& bytesPerSecond) const {
    const uint64_t span = SpanMs();
    if (span < kMinSpanMs || span == 0)
        return false;
    const uint64_t from = At(0).doneBytes, to = At(count_ - 1).doneBytes;
    const uint64_t moved = to > from ? to - from : 0;
    bytesPerSecond = static_cast<double>(moved) * 1000.0 / static_cast<double>(span);
    return true;
}
