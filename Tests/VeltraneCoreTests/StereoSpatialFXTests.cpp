#include "VeltraneCore/DSP/StereoSpatialFX.hpp"

#include "AllocationCounter.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace veltrane;

namespace {

/// The left output of an impulse of 1 at frame 0 on the left, `frames` long.
std::vector<double> impulseResponse(StereoSpatialFX fx, int frames, double delayMix, double reverbMix)
{
    std::vector<double> out;
    for (int n = 0; n < frames; ++n) out.push_back(fx.process(n == 0 ? 1.0 : 0.0, 0.0, delayMix, reverbMix).left);
    return out;
}

std::vector<int> nonZeroFrames(const std::vector<double>& signal)
{
    std::vector<int> frames;
    for (std::size_t n = 0; n < signal.size(); ++n)
        if (signal[n] != 0) frames.push_back(static_cast<int>(n));
    return frames;
}

} // namespace

TEST(StereoSpatialFX, WithoutSendsTheInputPassesUnchanged)
{
    StereoSpatialFX fx(48000, 0.25, 50);
    for (int n = 0; n < 30000; ++n) {
        const double left = std::sin(n * 0.01);
        const double right = std::cos(n * 0.037) * 0.5;
        ASSERT_EQ(fx.process(left, right, 0, 0), (StereoFrame{left, right})) << n;
        ASSERT_EQ(fx.process(left, right, -1, std::nan("")), (StereoFrame{left, right})) << n;
    }
}

TEST(StereoSpatialFX, TheFirstEchoLandsOneDelayTimeLaterAndEachNextIsFedBack)
{
    // 0.25 s at 48 kHz is 12,000 frames; feedback 50 reads as 0.5. A full delay mix hides the dry impulse.
    const auto out = impulseResponse(StereoSpatialFX(48000, 0.25, 50), 40000, 1, 0);
    EXPECT_EQ(nonZeroFrames(out), (std::vector<int>{12000, 24000, 36000}));
    EXPECT_EQ(out[12000], 1.0);
    EXPECT_EQ(out[24000], 0.5);
    EXPECT_EQ(out[36000], 0.25);

    // Half a delay mix: half the dry impulse, half of each echo.
    const auto half = impulseResponse(StereoSpatialFX(48000, 0.25, 0.5), 25000, 0.5, 0);
    EXPECT_EQ(nonZeroFrames(half), (std::vector<int>{0, 12000, 24000}));
    EXPECT_EQ(half[0], 0.5);
    EXPECT_EQ(half[12000], 0.5);
    EXPECT_EQ(half[24000], 0.25);
}

TEST(StereoSpatialFX, ReadsFeedbackAsAFractionOrAPercentage)
{
    struct Case {
        double given, used;
    };
    for (auto c : {Case{50, 0.5}, Case{1.0, 0.95}, Case{85, 0.85}, Case{0.3, 0.3}, Case{-1, 0}, Case{250, 0.95},
                   Case{std::nan(""), 0}}) {
        EXPECT_DOUBLE_EQ(StereoSpatialFX(48000, 0.25, c.given).delayFeedback(), c.used) << c.given;
    }
}

TEST(StereoSpatialFX, SizesItsLinesFromTheSampleRate)
{
    EXPECT_EQ(StereoSpatialFX(48000, 0.25, 0).delayLength(), 12000u);
    EXPECT_EQ(StereoSpatialFX(48000, 0, 0).delayLength(), 48u);     // 1 ms at least
    EXPECT_EQ(StereoSpatialFX(48000, 10, 0).delayLength(), 96000u); // 2 s at most
    EXPECT_EQ(StereoSpatialFX(48000, std::nan(""), 0).delayLength(), 48u);
    EXPECT_EQ(StereoSpatialFX(100, 0.001, 0).delayLength(), 1u);    // never shorter than one frame

    const StereoSpatialFX fx(48000, 0.25, 0);
    const std::size_t left[] = {1425, 1780, 1972, 2097};  // 29.7, 37.1, 41.1 and 43.7 ms
    const std::size_t right[] = {1526, 1907, 2112, 2246}; // the same × 1.071
    for (int c = 0; c < StereoSpatialFX::combCount; ++c) {
        EXPECT_EQ(fx.combLeft()[static_cast<std::size_t>(c)].size(), left[c]);
        EXPECT_EQ(fx.combRight()[static_cast<std::size_t>(c)].size(), right[c]);
    }
}

TEST(StereoSpatialFX, TheReverbAnswersAfterItsShortestCombAndRingsOnEachComb)
{
    // A full reverb mix: silence until the shortest comb (1,425 frames) returns a quarter of the impulse;
    // then each comb gives a quarter as it comes round, and 0.72 times that on its next round.
    const auto out = impulseResponse(StereoSpatialFX(48000, 0.25, 0), 2900, 0, 1);
    const auto frames = nonZeroFrames(out);
    EXPECT_EQ(frames, (std::vector<int>{1425, 1780, 1972, 2097, 2850}));
    for (int n : {1425, 1780, 1972, 2097}) EXPECT_DOUBLE_EQ(out[static_cast<std::size_t>(n)], 0.25) << n;
    EXPECT_DOUBLE_EQ(out[2850], 0.25 * 0.72);
}

TEST(StereoSpatialFX, KeepsTheChannelsApart)
{
    StereoSpatialFX fx(44100, 0.1, 0.6);
    for (int n = 0; n < 20000; ++n) ASSERT_EQ(fx.process(n % 7 == 0 ? 1.0 : 0.0, 0.0, 0.7, 0.4).right, 0.0);
}

TEST(StereoSpatialFX, ProcessingNeverAllocates)
{
    StereoSpatialFX fx(48000, 0.3, 60);
    veltrane::testing::AllocationCounter counter;
    double sum = 0;
    for (int n = 0; n < 96000; ++n) sum += fx.process(std::sin(n * 0.05), std::cos(n * 0.05), 0.4, 0.3).left;
    EXPECT_EQ(counter.count(), 0);
    EXPECT_TRUE(std::isfinite(sum));
}

TEST(StereoSpatialFX, TailFitsTheEchoesAndTheReverb)
{
    struct Case {
        const char* name;
        double rate, delayMix, delayTime, feedback, reverbMix;
        std::int64_t frames;
    };
    const Case cases[] = {
        {"10 echoes of 0.3 s", 44100, 0.5, 0.3, 0.5, 0, 132300},
        {"reverb shorter than the echoes", 44100, 0.5, 0.3, 0.5, 0.2, 132300},
        {"reverb longer than the echoes", 44100, 0.5, 0.1, 0.5, 0.2, 88200},
        {"feedback as a percentage", 44100, 0.5, 0.3, 50, 0, 132300},
        {"feedback 0.99 gives 24 echoes", 44100, 0.5, 0.3, 0.99, 0, 317520},
        {"no feedback gives one echo", 44100, 0.5, 0.3, 0, 0, 13230},
        {"negative feedback gives one echo", 44100, 0.5, 0.3, -1, 0, 13230},
        {"the delay time is taken unclamped", 44100, 1, 5, 0, 0, 220500},
        {"reverb alone", 44100, 0, 0.3, 0.5, 0.3, 88200},
        {"no sends", 44100, 0, 0.3, 0.5, 0, 0},
        {"a negative delay time gives none", 44100, 0.5, -0.3, 0.5, 0, 0},
        {"half frames go up", 3, 1, 0.5, 0, 0, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(spatialTailFrames(c.rate, c.delayMix, c.delayTime, c.feedback, c.reverbMix), c.frames) << c.name;
    }
}
