#include "ui/TransferMeter.h"

void TransferMeter::CloseStretch(uint64_t nowMs) {
    if (phase_ == Phase::Running)
        runningMs_ += Since(nowMs);
    else if (phase_ == Phase::Paused)
        pausedMs_ += Since(nowMs);
    since_ = nowMs;
}

void TransferMeter::Start(uint64_t nowMs, uint64_t doneBytes) {
    phase_ = Phase::Running;
    since_ = nowMs;
    runningMs_ = pausedMs_ = 0;
    smoother_.Reset();
    smoother_.Add(nowMs, doneBytes);
}

void TransferMeter::Sample(uint64_t nowMs, uint64_t doneBytes) {
    if (phase_ == Phase::Running)
        smoother_.Add(nowMs, doneBytes);
}

void TransferMeter::Pause(uint64_t nowMs) {
    if (phase_ != Phase::Running)
        return;
    CloseStretch(nowMs);
    phase_ = Phase::Paused;
}

void TransferMeter::Resume(uint64_t nowMs, uint64_t doneBytes) {
    if (phase_ != Phase::Paused)
        return;
    CloseStretch(nowMs);
    phase_ = Phase::Running;
    smoother_.Reset();
    smoother_.Add(nowMs, doneBytes);
}

void TransferMeter::Finish(uint64_t nowMs) {
    CloseStretch(nowMs);
    phase_ = Phase::Finished;
}

uint64_t TransferMeter::RunningMs(uint64_t nowMs) const {
    return runningMs_ + (phase_ == Phase::Running ? Since(nowMs) : 0);
}

uint64_t TransferMeter::PausedMs(uint64_t nowMs) const {
    return pausedMs_ + (phase_ == Phase::Paused ? Since(nowMs) : 0);
}
