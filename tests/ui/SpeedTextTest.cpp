#include "app/ByteSize.h"
#include "ui/RateSmoother.h"
#include "ui/SpeedText.h"
#include "ui/TransferMeter.h"

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

TEST(SpeedText, DurationsShowMinutesAndSecondsWithHoursFromOneHourOn) {
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

TEST(SpeedText, RatesAreTheSystemsSizeOfOneSecond) {
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

TEST(SpeedText, TimeLeftIsRoundedUpAndOnlyToldWhenSensible) {
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

TEST(SpeedText, RunningTextIsSpeedThenTimeLeft) {
    WideString out;
    FormatRunningText(51066470.0, 151ull * 51066470, out);
    EXPECT_EQ(std::wstring(out.Text()), ShownSize(51066470) + L"/s, 2:31 left");
    // Nothing moves: the speed alone, no endless time.
    FormatRunningText(0.0, 1000, out);
    EXPECT_EQ(std::wstring(out.Text()), ShownSize(0) + L"/s");
}

TEST(SpeedText, EndedTextIsTheRunningTimeAndTheAverageOverIt) {
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

TEST(RateSmoother, TellsNothingUntilTheSamplesSpanASecond) {
    RateSmoother smoother;
    double rate = -1;
    EXPECT_FALSE(smoother.Rate(rate));
    smoother.Add(10000, 0);
    EXPECT_FALSE(smoother.Rate(rate));
    smoother.Add(10500, 500000);
    EXPECT_FALSE(smoother.Rate(rate));
    smoother.Add(11000, 1000000);
    ASSERT_TRUE(smoother.Rate(rate));
    EXPECT_DOUBLE_EQ(rate, 1000000.0);
    smoother.Reset();
    EXPECT_FALSE(smoother.Rate(rate));
    EXPECT_EQ(smoother.SpanMs(), 0u);
}

TEST(RateSmoother, EvensOutBurstsAndForgetsWhatIsOlderThanTheWindow) {
    RateSmoother smoother;
    double rate = 0;
    // Chunks land in bursts: 4 MB in one half second, nothing in the next.
    uint64_t done = 0;
    for (uint64_t t = 0; t <= 4000; t += 500) {
        smoother.Add(t, done);
        if ((t / 500) % 2 == 0)
            done += 4000000;
    }
    ASSERT_TRUE(smoother.Rate(rate));
    EXPECT_DOUBLE_EQ(rate, 4000000.0); // 16 MB in 4 s
    // The pace drops to 1 MB/s; after a whole window only the new pace counts.
    for (uint64_t t = 4500; t <= 9500; t += 500) {
        done += 500000;
        smoother.Add(t, done);
        ASSERT_TRUE(smoother.Rate(rate));
        EXPECT_GE(rate, 1000000.0) << t;
        EXPECT_LE(smoother.SpanMs(), RateSmoother::kWindowMs) << t;
    }
    EXPECT_DOUBLE_EQ(rate, 1000000.0);
    EXPECT_EQ(smoother.SpanMs(), RateSmoother::kWindowMs);
}

TEST(RateSmoother, ASampleAtTheSameTimeReplacesTheLastAndManySamplesFit) {
    RateSmoother smoother;
    double rate = 0;
    smoother.Add(0, 0);
    smoother.Add(2000, 1000);
    smoother.Add(2000, 4000);
    ASSERT_TRUE(smoother.Rate(rate));
    EXPECT_DOUBLE_EQ(rate, 2000.0);
    // Ten samples a second for a minute: the window still holds and the speed is right.
    for (uint64_t t = 2100; t <= 62000; t += 100)
        smoother.Add(t, 4000 + (t - 2000) * 3);
    ASSERT_TRUE(smoother.Rate(rate));
    EXPECT_DOUBLE_EQ(rate, 3000.0);
    EXPECT_GE(smoother.SpanMs(), RateSmoother::kMinSpanMs);
}

TEST(TransferMeter, PausesAreKeptOutOfTheRunningTimeAndTheSpeed) {
    TransferMeter meter;
    double rate = 0;
    meter.Start(1000, 0);
    meter.Sample(2000, 2000000);
    EXPECT_EQ(meter.RunningMs(2500), 1500u);
    ASSERT_TRUE(meter.Rate(rate));
    EXPECT_DOUBLE_EQ(rate, 2000000.0);

    meter.Pause(3000);
    meter.Sample(5000, 9999999); // not running: not a sample
    EXPECT_EQ(meter.RunningMs(8000), 2000u);
    EXPECT_EQ(meter.PausedMs(8000), 5000u);

    // After the pause the speed is measured afresh, not spread over the pause.
    meter.Resume(13000, 4000000);
    EXPECT_FALSE(meter.Rate(rate));
    meter.Sample(14000, 5000000);
    ASSERT_TRUE(meter.Rate(rate));
    EXPECT_DOUBLE_EQ(rate, 1000000.0);

    meter.Finish(15000);
    EXPECT_EQ(meter.RunningMs(99000), 4000u);
    EXPECT_EQ(meter.PausedMs(99000), 10000u);

    // A new start forgets the last run.
    meter.Start(100000, 0);
    EXPECT_EQ(meter.RunningMs(100500), 500u);
    EXPECT_EQ(meter.PausedMs(100500), 0u);
    EXPECT_FALSE(meter.Rate(rate));
}
