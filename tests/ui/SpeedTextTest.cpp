#include "app/ByteSize.h"
#include "ui/SpeedText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A size as the part-size panel's units write it.
std::wstring ShownSize(uint64_t bytes) {
    WideString text;
    FormatByteSize(bytes, text);
    return text.Text();
}

std::wstring Duration(uint64_t seconds) {
    WideString out;
    out.Assign(L"", 0);
    AppendDuration(seconds, out);
    return out.Text();
}

} // namespace

TEST(SpeedTextTest, DurationsShowMinutesAndSecondsWithHoursFromOneHourOn) {
    const struct {
        uint64_t seconds;
        const wchar_t* shown;
    } cases[] = {
        {0, L"0:00"},       {7, L"0:07"},       {59, L"0:59"},
        {60, L"1:00"},      {151, L"2:31"},     {3599, L"59:59"},
        {3600, L"1:00:00"}, {3751, L"1:02:31"}, {90187, L"25:03:07"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Duration(c.seconds), c.shown) << c.seconds;
}

TEST(SpeedTextTest, RatesAreTheSystemsSizeOfOneSecond) {
    const struct {
        double rate;
        long long shownBytes;
    } cases[] = {
        {0.0, 0},
        {-5.0, 0},
        {512.4, 512},
        {512.6, 513},
        {51066470.0, 51066470},
        {3.5e9, 3500000000LL},
    };
    for (const auto& c : cases) {
        WideString out;
        out.Assign(L"", 0);
        AppendRate(c.rate, out);
        EXPECT_EQ(std::wstring(out.Text()), ShownSize(c.shownBytes) + L"/s") << c.rate;
    }
}

TEST(SpeedTextTest, TimeLeftIsRoundedUpAndOnlyToldWhenSensible) {
    const struct {
        double rate;
        uint64_t remaining;
        bool told;
        uint64_t seconds;
    } cases[] = {
        {1000.0, 0, true, 0},          {1000.0, 1, true, 1},  {1000.0, 151000, true, 151},
        {1000.0, 151001, true, 152},   {0.0, 1000, false, 0}, {1.0, 1ull << 40, false, 0},
        {1e8, 40ull << 30, true, 430},
    };
    for (const auto& c : cases) {
        uint64_t seconds = 12345;
        EXPECT_EQ(SecondsLeft(c.rate, c.remaining, seconds), c.told)
            << c.rate << " " << c.remaining;
        if (c.told) {
            EXPECT_EQ(seconds, c.seconds) << c.rate << " " << c.remaining;
        }
    }
}

TEST(SpeedTextTest, RunningTextIsSpeedThenTimeLeft) {
    WideString out;
    FormatRunningText(51066470.0, 151ull * 51066470, out);
    EXPECT_EQ(std::wstring(out.Text()), ShownSize(51066470) + L"/s, 2:31 left");
    // Nothing moves: the speed alone, no endless time.
    FormatRunningText(0.0, 1000, out);
    EXPECT_EQ(std::wstring(out.Text()), ShownSize(0) + L"/s");
}

TEST(SpeedTextTest, EndedTextIsTheRunningTimeAndTheAverageOverIt) {
    const struct {
        uint64_t runningMs, pausedMs, bytes;
        std::wstring shown;
    } cases[] = {
        {151000, 0, 151ull * 1048576, L"done in 2:31, " + ShownSize(1048576) + L"/s average"},
        {151000, 40200, 151ull * 1048576,
         L"done in 2:31 (+ 0:40 paused), " + ShownSize(1048576) + L"/s average"},
        {1499, 0, 1499, L"done in 0:01, " + ShownSize(1000) + L"/s average"},
        {300, 0, 3000, L"done in 0:01, " + ShownSize(10000) + L"/s average"},
        {0, 0, 0, L"done in 0:00"},
    };
    for (const auto& c : cases) {
        WideString out;
        FormatEndedText(c.runningMs, c.pausedMs, c.bytes, out);
        EXPECT_EQ(std::wstring(out.Text()), c.shown) << c.runningMs;
    }
}
