#include "VeltraneCore/DSP/StereoLowPass.hpp"
#include "VeltraneCore/DSP/WideInstructions.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace veltrane;

namespace {

/// The gain of the filter for a sine of `frequency` on both channels, measured after the filter settles.
double sineGain(StereoLowPass filter, double sampleRate, double frequency)
{
    const int settle = static_cast<int>(sampleRate / 2);
    const int measure = static_cast<int>(sampleRate / 2);
    double inputEnergy = 0;
    double outputEnergy = 0;
    for (int n = 0; n < settle + measure; ++n) {
        const double x = std::sin(2 * std::numbers::pi * frequency * n / sampleRate);
        const auto y = filter.process(x, x);
        EXPECT_EQ(y.left, y.right);
        if (n >= settle) {
            inputEnergy += x * x;
            outputEnergy += y.left * y.left;
        }
    }
    return std::sqrt(outputEnergy / inputEnergy);
}

double decibels(double gain) { return 20 * std::log10(gain); }

} // namespace

TEST(StereoLowPass, HasTheCookbookCoefficients)
{
    // 1 kHz at 44.1 kHz with Q 1/√2.
    const StereoLowPass filter(44100, 1000, 1 / std::numbers::sqrt2);
    EXPECT_NEAR(filter.b0, 0.00460400, 1e-8);
    EXPECT_NEAR(filter.b1, 0.00920800, 1e-8);
    EXPECT_NEAR(filter.b2, 0.00460400, 1e-8);
    EXPECT_NEAR(filter.a1, -1.79909641, 1e-8);
    EXPECT_NEAR(filter.a2, 0.81751240, 1e-8);
}

TEST(StereoLowPass, HoldsCutoffAndResonanceToTheirRanges)
{
    struct Case {
        const char* name;
        double sampleRate, cutoff, resonance;
        double usedCutoff, usedResonance;
    };
    const Case cases[] = {
        {"cutoff 5 Hz uses 20 Hz", 48000, 5, 0.7, 20, 0.7},
        {"cutoff 30 kHz uses 0.45 × rate", 48000, 30000, 0.7, 21600, 0.7},
        {"NaN cutoff uses 20 Hz", 48000, std::nan(""), 0.7, 20, 0.7},
        {"resonance 10 uses Q 5", 48000, 1000, 10, 1000, 5},
        {"resonance 0 uses Q 0.05", 48000, 1000, 0, 1000, 0.05},
        {"NaN resonance uses Q 0.05", 48000, 1000, std::nan(""), 1000, 0.05},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StereoLowPass(c.sampleRate, c.cutoff, c.resonance), StereoLowPass(c.sampleRate, c.usedCutoff, c.usedResonance))
            << c.name;
    }
    // Below 44.4 Hz the upper bound (0.45 × rate) lies under 20 Hz and wins: the filter stays stable.
    // Any cutoff then gives the same filter, at 18 Hz.
    StereoLowPass slow(40, 1000, 0.7);
    EXPECT_EQ(slow, StereoLowPass(40, 5, 0.7));
    double y = 0;
    for (int n = 0; n < 1000; ++n) y = slow.process(1, 1).left;
    EXPECT_NEAR(y, 1.0, 1e-6);
}

TEST(StereoLowPass, PassesDCAndKeepsTheChannelsApart)
{
    StereoLowPass filter(44100, 1000, 0.7071);
    StereoFrame out;
    for (int n = 0; n < 44100; ++n) out = filter.process(1.0, 0.0);
    EXPECT_NEAR(out.left, 1.0, 1e-9);
    EXPECT_EQ(out.right, 0.0);
    EXPECT_EQ(filter.ry1, 0.0);
    EXPECT_EQ(filter.rx1, 0.0);
}

TEST(StereoLowPass, AttenuatesAboveItsCutoff)
{
    const double rate = 48000;
    const StereoLowPass filter(rate, 1000, 1 / std::numbers::sqrt2);
    EXPECT_NEAR(decibels(sineGain(filter, rate, 100)), 0.0, 0.1);   // a decade below: flat
    EXPECT_NEAR(decibels(sineGain(filter, rate, 1000)), -3.0, 0.1); // at the cutoff: half power
    EXPECT_LT(decibels(sineGain(filter, rate, 4000)), -23.0);       // two octaves up: about 12 dB an octave
    EXPECT_LT(decibels(sineGain(filter, rate, 16000)), -45.0);

    // Resonance lifts the cutoff region: Q 4 peaks about 12 dB above the passband.
    EXPECT_GT(decibels(sineGain(StereoLowPass(rate, 1000, 4), rate, 1000)), 11.0);
}

TEST(StereoLowPass, UpdateRetunesWithoutClearingTheHistory)
{
    StereoLowPass filter(48000, 200, 0.7);
    for (int n = 0; n < 100; ++n) filter.process(1.0, -1.0);
    const StereoLowPass before = filter;

    filter.update(48000, 8000, 2);
    const StereoLowPass fresh(48000, 8000, 2);
    EXPECT_EQ(filter.b0, fresh.b0);
    EXPECT_EQ(filter.a2, fresh.a2);
    EXPECT_EQ(filter.ly1, before.ly1);
    EXPECT_EQ(filter.rx2, before.rx2);

    // The next output continues from the history rather than starting from silence.
    StereoLowPass restarted = fresh;
    EXPECT_NE(filter.process(1.0, -1.0), restarted.process(1.0, -1.0));
}

TEST(StereoLowPass, ANonPositiveSampleRatePassesTheSignalUnchanged)
{
    for (double rate : {0.0, -44100.0, std::nan("")}) {
        StereoLowPass filter(rate, 1000, 0.7);
        EXPECT_EQ(filter.process(0.25, -0.5), (StereoFrame{0.25, -0.5}));
        EXPECT_EQ(filter.process(-1, 1), (StereoFrame{-1, 1}));
    }
}

TEST(StereoLowPass, ADecayingTailNeverTurnsSubnormal)
{
    StereoLowPass filter(44100, 1000, 0.7071);
    filter.process(1, -1);
    bool subnormal = false;
    for (int n = 0; n < 200000; ++n) {
        const auto out = filter.process(0, 0);
        subnormal = subnormal || std::fpclassify(out.left) == FP_SUBNORMAL || std::fpclassify(out.right) == FP_SUBNORMAL;
    }
    EXPECT_FALSE(subnormal);
    EXPECT_EQ(filter.ly1, 0.0);
    EXPECT_EQ(filter.ry1, 0.0);
}

TEST(StereoLowPass, TuningManyAtOnceGivesEachFilterItsOwnCoefficients)
{
    // Every clamp on both sides, in groups that fill whole vectors and groups that do not.
    const double cutoffs[] = {1000, 5, 30000, std::nan(""), 440, 19999, 20, 123.4, 8000};
    const double resonances[] = {0.7, 10, 0, std::nan(""), 4.9, 0.05, 1, 0.3, 2};
    // `tolerance` 0 asks for the very coefficients of `update`; where the processor fuses multiplies and
    // adds, the copy built for it is held to within double rounding.
    const auto expectEachTuned = [&](double tolerance) {
        for (const double rate : {44100.0, 48000.0, 0.0}) {
            for (int count = 1; count <= 9; ++count) {
                StereoLowPass filters[9];
                for (StereoLowPass& filter : filters) filter.ly1 = 0.5; // history the tuning leaves alone
                StereoLowPass::tune(rate, cutoffs, resonances, count, filters);
                for (int i = 0; i < 9; ++i) {
                    const StereoLowPass expected(rate, cutoffs[i], resonances[i]);
                    if (i >= count) {
                        EXPECT_EQ(filters[i].b0, 1) << "filter " << i << " of " << count << " is left alone";
                        continue;
                    }
                    for (const auto& [got, want] : {std::pair{filters[i].b0, expected.b0}, {filters[i].b1, expected.b1},
                                                    {filters[i].b2, expected.b2}, {filters[i].a1, expected.a1},
                                                    {filters[i].a2, expected.a2}}) {
                        EXPECT_NEAR(got, want, tolerance * std::max(1.0, std::abs(want))) << rate << " Hz, filter " << i;
                    }
                    EXPECT_EQ(filters[i].ly1, 0.5);
                }
            }
        }
    };
    expectEachTuned(1e-15);
    WideInstructionsRefusal refusal;
    expectEachTuned(0);
}
