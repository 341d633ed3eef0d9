#include "VeltraneCore/Timing/FrameTime.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace veltrane;

TEST(FrameTime, RoundsHalvesAwayFromZero)
{
    struct Case {
        double value;
        std::int64_t expected;
    };
    const Case cases[] = {
        {2.5, 3}, {-2.5, -3}, {0.5, 1}, {-0.5, -1}, {2.4999999, 2}, {1.5, 2}, {0.0, 0}, {-0.0, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(roundHalfAwayFromZero(c.value), c.expected) << c.value;
}

TEST(FrameTime, BrokenNumbersSaturateInsteadOfOverflowing)
{
    constexpr auto max = std::numeric_limits<std::int64_t>::max();
    constexpr auto min = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(roundHalfAwayFromZero(std::nan("")), 0);
    EXPECT_EQ(roundHalfAwayFromZero(INFINITY), max);
    EXPECT_EQ(roundHalfAwayFromZero(-INFINITY), min);
    EXPECT_EQ(roundHalfAwayFromZero(1e300), max);
    EXPECT_EQ(framesForSeconds(1e300, 48000), max);
}

TEST(FrameTime, SecondsBecomeFramesAtTheSampleRate)
{
    EXPECT_EQ(framesForSeconds(0.125, 48000), 6000);
    // 0.5 / 44100 s is exactly half a frame at 44,100 Hz: it goes up.
    EXPECT_EQ(framesForSeconds(1.5 / 44100.0, 44100), 2);
    EXPECT_EQ(framesForSeconds(0.0, 44100), 0);
    EXPECT_EQ(lengthFramesForSeconds(0.0, 44100), 1);
    EXPECT_EQ(lengthFramesForSeconds(-3.0, 44100), 1);
    EXPECT_EQ(lengthFramesForSeconds(0.25, 48000), 12000);
}

TEST(FrameTime, MovingAFrameOnHoldsToTheRangeInsteadOfOverflowing)
{
    constexpr auto max = std::numeric_limits<std::int64_t>::max();
    constexpr auto min = std::numeric_limits<std::int64_t>::min();
    const struct {
        std::int64_t frame, frames, expected;
    } cases[] = {
        {1000, 441000, 442000},
        {-5, 3, -2},
        {max, 441000, max}, // "every note" moved on by the cache interval
        {max - 10, 11, max},
        {max - 10, 10, max},
        {max, -1, max - 1},
        {min, -1, min},
        {min + 5, -6, min},
        {0, max, max},
    };
    for (const auto& c : cases) EXPECT_EQ(framesAfter(c.frame, c.frames), c.expected) << c.frame << " + " << c.frames;
}
