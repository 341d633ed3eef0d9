#include "VeltraneCore/DSP/CycleSine.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

using namespace veltrane;

TEST(CycleSine, MatchesTheLibrarySineToWithinDoubleRoundingOverTheWholeCycle)
{
    double largest = 0;
    for (int i = 0; i <= 1'000'000; ++i) {
        const double x = i / 1'000'000.0;
        largest = std::max(largest, std::abs(sineOfPhase(x) - std::sin(2 * std::numbers::pi * x)));
    }
    EXPECT_LT(largest, 2e-15);
    // The zeros come out exact, the peaks within rounding, and any number of whole cycles folds away.
    EXPECT_EQ(sineOfPhase(0), 0);
    EXPECT_NEAR(sineOfPhase(0.25), 1, 1e-15);
    EXPECT_EQ(sineOfPhase(0.5), 0);
    EXPECT_NEAR(sineOfPhase(0.75), -1, 1e-15);
    EXPECT_EQ(sineOfPhase(1), 0);
    EXPECT_NEAR(sineOfCycles(1234.125), std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(sineOfCycles(-0.125), -std::sqrt(0.5), 1e-15);
}

TEST(CycleSine, FloorAgreesWithTheLibraryEverywhere)
{
    constexpr double big = 4503599627370496.0; // 2^52: from here on every double is whole
    constexpr double inf = std::numeric_limits<double>::infinity();
    for (const double x : {0.0, -0.0, 0.5, -0.5, 1.0, -1.0, 2.999999999, -2.000000001, 1e-300, -1e-300, 123456.75,
                           -123456.75, big - 0.5, -(big - 0.5), big, -big, 1e300, -1e300, inf, -inf}) {
        EXPECT_EQ(floorOf(x), std::floor(x)) << x;
    }
    EXPECT_TRUE(std::isnan(floorOf(std::nan(""))));
}

TEST(CycleSine, TwoLanesGiveTheVeryValuesOfOne)
{
    const double phases[] = {0.0, 0.1, 0.25, 0.3333, 0.5, 0.75, 0.9999999, 1.0, 17.625, -3.2, 123456789.0625, -0.5};
    for (const double a : phases) {
        for (const double b : {0.0, 0.4, 2.75}) {
            const DoubleLanes floors = floorOf(DoubleLanes{a, b});
            EXPECT_EQ(floors[0], floorOf(a)) << a;
            EXPECT_EQ(floors[1], floorOf(b)) << b;
            const double fa = a - floorOf(a), fb = b - floorOf(b);
            const DoubleLanes sines = sineOfPhase(DoubleLanes{fa, fb});
            EXPECT_EQ(sines[0], sineOfPhase(fa)) << a;
            EXPECT_EQ(sines[1], sineOfPhase(fb)) << b;
        }
    }
}

TEST(CycleSine, WholePhasesGiveTheSinesOfTheirFractions)
{
    // Fractions of exactly one half (where the nearest whole number may lie either side), whole cycles,
    // phases of many cycles and ones just short of a whole: from 0 up, the very same values. Below 0
    // the fraction's subtraction rounds (-0.1 + 1 is not 0.9 exactly) and the whole phase does not, so
    // there the two agree to within double rounding.
    const double phases[] = {0.0,    0.5,           1.5,        2.5,                0.25,   0.75, 1.0,    0.1,
                             17.625, 123456789.0625, 1e12 + 0.5, 0.9999999999999999, 1e-300, 41.999, 7.4999999};
    for (const double a : phases) {
        const QuadLanes sines = sineOfCycles(QuadLanes{a, a + 1, -a, -a - 0.5});
        EXPECT_EQ(sines[0], sineOfPhase(a - floorOf(a))) << a;
        EXPECT_EQ(sines[1], sineOfPhase((a + 1) - floorOf(a + 1))) << a + 1;
        EXPECT_NEAR(sines[2], sineOfPhase(-a - floorOf(-a)), 1e-15) << -a;
        EXPECT_NEAR(sines[3], sineOfPhase((-a - 0.5) - floorOf(-a - 0.5)), 1e-15) << -a - 0.5;
        EXPECT_EQ(sineOfCycles(DoubleLanes{a, -a})[0], sines[0]) << a;
    }
}
