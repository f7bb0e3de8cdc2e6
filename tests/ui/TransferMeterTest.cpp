#include "ui/TransferMeter.h"

#include <gtest/gtest.h>

TEST(TransferMeterTest, PausesAreKeptOutOfTheRunningTimeAndTheSpeed) {
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
