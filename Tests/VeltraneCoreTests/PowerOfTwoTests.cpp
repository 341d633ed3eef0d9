#include "VeltraneCore/DSP/PowerOfTwo.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace veltrane;

TEST(PowerOfTwo, MatchesTheLibraryToWithinDoubleRounding)
{
    // Over the span a cutoff's curve takes (about ten octaves), below it, and past the halfway points
    // where the whole part of the exponent changes, in both vector widths.
    double largest = 0;
    for (int i = -40000; i <= 120000; ++i) {
        const double x = i * 1e-4 + 0.5;
        const double want = std::exp2(x);
        const DoubleLanes pair = exp2Of(DoubleLanes{x, -x});
        const QuadLanes quad = exp2Of(QuadLanes{x, -x, x, -x});
        largest = std::max({largest, std::abs(pair[0] - want) / want, std::abs(quad[2] - want) / want,
                            std::abs(pair[1] - std::exp2(-x)) * want});
        ASSERT_EQ(pair[0], quad[0]) << x;
    }
    EXPECT_LT(largest, 4.5e-16); // two units in the last place
    // Whole exponents give powers of two exactly.
    const QuadLanes whole = exp2Of(QuadLanes{0, 1, 10, -3});
    EXPECT_EQ(whole[0], 1);
    EXPECT_EQ(whole[1], 2);
    EXPECT_EQ(whole[2], 1024);
    EXPECT_EQ(whole[3], 0.125);
}
