#include "CaptureFigures.h"

#include <gtest/gtest.h>

namespace {
FrameRecord Frame(REFERENCE_TIME start, LONGLONG arrival, bool stamped = true)
{
    FrameRecord record;
    record.hasTime = stamped;
    record.start = start;
    record.stop = start + 10000;
    record.arrivalTicks = arrival;
    return record;
}
}    // namespace

TEST(CaptureFigures, MeasuresRateFromArrivalsAndSpacingFromStamps)
{
    // Four frames over 1.5 s of a 1000-tick clock; stamps 10, 15 and 10 ms apart.
    const CaptureFigures figures = ComputeFigures(
        {Frame(0, 2000), Frame(100000, 2500), Frame(250000, 3000), Frame(350000, 3500)}, 1000);
    EXPECT_EQ(4, figures.frameCount);
    ASSERT_TRUE(figures.hasRate);
    EXPECT_DOUBLE_EQ(2.0, figures.framesPerSecond);
    ASSERT_TRUE(figures.hasSpacing);
    EXPECT_NEAR(35.0 / 3.0, figures.meanSpacingMs, 1e-9);
    EXPECT_DOUBLE_EQ(10.0, figures.shortestSpacingMs);
    EXPECT_DOUBLE_EQ(15.0, figures.longestSpacingMs);
}

TEST(CaptureFigures, NeedsTwoFramesAndSkipsNeighboursWithoutStamps)
{
    const CaptureFigures single = ComputeFigures({Frame(0, 10)}, 1000);
    EXPECT_EQ(1, single.frameCount);
    EXPECT_FALSE(single.hasRate);
    EXPECT_FALSE(single.hasSpacing);

    // Only the last two frames both carry stamps.
    const CaptureFigures partly = ComputeFigures(
        {Frame(0, 0), Frame(0, 100, false), Frame(200000, 200), Frame(300000, 300)}, 1000);
    ASSERT_TRUE(partly.hasSpacing);
    EXPECT_DOUBLE_EQ(10.0, partly.meanSpacingMs);
    EXPECT_DOUBLE_EQ(10.0, partly.framesPerSecond);

    // Frames that arrive in the same tick give no rate rather than a division by zero.
    EXPECT_FALSE(ComputeFigures({Frame(0, 5), Frame(100000, 5)}, 1000).hasRate);
}
