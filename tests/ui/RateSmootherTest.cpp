#include "ui/RateSmoother.h"

#include <gtest/gtest.h>

TEST(RateSmootherTest, TellsNothingUntilTheSamplesSpanASecond) {
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

TEST(RateSmootherTest, EvensOutBurstsAndForgetsWhatIsOlderThanTheWindow) {
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

TEST(RateSmootherTest, ASampleAtTheSameTimeReplacesTheLastAndManySamplesFit) {
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
