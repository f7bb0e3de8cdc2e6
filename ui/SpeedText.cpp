#include "ui/SpeedText.h"

#include "app/ByteSize.h"

#include <cmath>

namespace {

// A time left beyond this (about eleven years) is no estimate worth showing.
constexpr double kMostSecondsLeft = 360000000.0;

// Whole seconds of a stretch of time, to the nearest; a stretch under half a second that did
// happen still shows as one second rather than as nothing.
uint64_t ShownSeconds(uint64_t ms) {
    const uint64_t seconds = (ms + 500) / 1000;
    return seconds == 0 && ms != 0 ? 1 : seconds;
}

} // namespace

void AppendDuration(uint64_t seconds, WideString& out) {
    const unsigned long long hours = seconds / 3600;
    const unsigned minutes = static_cast<unsigned>(seconds / 60 % 60);
    const unsigned rest = static_cast<unsigned>(seconds % 60);
    if (hours != 0)
        out.AppendFormat(L"%llu:%02u:%02u", hours, minutes, rest);
    else
        out.AppendFormat(L"%u:%02u", minutes, rest);
}

void AppendRate(double bytesPerSecond, WideString& out) {
    const double rounded = bytesPerSecond > 0 ? std::floor(bytesPerSecond + 0.5) : 0.0;
    // Beyond any disk; kept in range of the conversion.
    const LONGLONG bytes = rounded < 9.0e18 ? static_cast<LONGLONG>(rounded) : 0;
    WideString size;
    FormatByteSize(static_cast<uint64_t>(bytes), size);
    out.AppendFormat(L"%s/s", size.Text());
}

bool SecondsLeft(double bytesPerSecond, uint64_t remainingBytes, uint64_t& seconds) {
    if (!(bytesPerSecond > 0))
        return false;
    const double exact = static_cast<double>(remainingBytes) / bytesPerSecond;
    if (exact > kMostSecondsLeft)
        return false;
    seconds = static_cast<uint64_t>(std::ceil(exact));
    return true;
}

void FormatRunningText(double bytesPerSecond, uint64_t remainingBytes, WideString& out) {
    out.Assign(L"", 0);
    AppendRate(bytesPerSecond, out);
    uint64_t seconds = 0;
    if (SecondsLeft(bytesPerSecond, remainingBytes, seconds)) {
        out.AppendFormat(L", ");
        AppendDuration(seconds, out);
        out.AppendFormat(L" left");
    }
}

void FormatEndedText(uint64_t runningMs, uint64_t pausedMs, uint64_t bytes, WideString& out) {
    out.Assign(L"done in ", 8);
    AppendDuration(ShownSeconds(runningMs), out);
    if (pausedMs != 0) {
        out.AppendFormat(L" (+ ");
        AppendDuration(ShownSeconds(pausedMs), out);
        out.AppendFormat(L" paused)");
    }
    if (runningMs != 0) {
        out.AppendFormat(L", ");
        AppendRate(static_cast<double>(bytes) * 1000.0 / static_cast<double>(runningMs), out);
        out.AppendFormat(L" average");
    }
}
