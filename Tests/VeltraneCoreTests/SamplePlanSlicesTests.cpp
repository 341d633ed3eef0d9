#include "VeltraneCore/SampleSlicing/SampleSlices.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace veltrane;

namespace {

constexpr double kRate = 44100;
constexpr int kHop = 132; // 6 ms windows of 264 frames at 44.1 kHz, half overlapping

// Silence with bursts of `amplitude` (alternating sign, so the RMS is the amplitude) starting at the given
// frames and lasting `burstFrames`.
std::vector<float> bursts(std::size_t frames, const std::vector<std::pair<std::size_t, float>>& hits,
                          std::size_t burstFrames)
{
    std::vector<float> samples(frames, 0.0f);
    for (const auto& [start, amplitude] : hits) {
        for (std::size_t i = start; i < std::min(frames, start + burstFrames); ++i) {
            samples[i] = (i % 2 == 0) ? amplitude : -amplitude;
        }
    }
    return samples;
}

} // namespace

TEST(SampleSliceBounds, PointsAreCleanedSortedAndFramed)
{
    const std::vector<double> points{0.5, 0.25, 0.25, 1.2, 0, std::nan(""), -0.3};
    EXPECT_EQ(sampleSliceBounds(points, 0), (SampleSliceBounds{0, 0.25}));
    EXPECT_EQ(sampleSliceBounds(points, 1), (SampleSliceBounds{0.25, 0.5}));
    EXPECT_EQ(sampleSliceBounds(points, 2), (SampleSliceBounds{0.5, 1}));
    EXPECT_FALSE(sampleSliceBounds(points, 3));
    EXPECT_FALSE(sampleSliceBounds(points, -1));
    EXPECT_EQ(sampleSliceBounds({}, 0), (SampleSliceBounds{0, 1}));
}

TEST(TransientDetection, TooShortOrSilentRecordingsGiveNoPoints)
{
    EXPECT_TRUE(detectTransientSlices(bursts(200, {{50, 1.0f}}, 100), kRate, 0.5, 16).empty());
    EXPECT_TRUE(detectTransientSlices(bursts(44100, {{10000, 0.00005f}}, 5000), kRate, 0.5, 16).empty());
    const auto hit = bursts(44100, {{10032, 0.8f}}, 2000);
    EXPECT_TRUE(detectTransientSlices(hit, 0, 0.5, 16).empty());
    EXPECT_TRUE(detectTransientSlices(hit, std::nan(""), 0.5, 16).empty());
    EXPECT_TRUE(detectTransientSlices(hit, kRate, 0.5, 1).empty());
    EXPECT_EQ(detectTransientSlices(hit, kRate, 0.5, 2).size(), 1u);
}

TEST(TransientDetection, FindsAnOnsetWithinAWindowOfTheHit)
{
    const std::size_t onset = 75 * kHop;
    const auto points = detectTransientSlices(bursts(44100, {{onset, 0.8f}}, 4000), kRate, 0.5, 16);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_NEAR(points[0] * 44100, onset, 2 * kHop);
}

TEST(TransientDetection, TwoHitsWithin45MillisecondsLeaveTheOneThatRoseMore)
{
    // 30 ms apart: the soft hit dies away before the hard one.
    const std::size_t soft = 40 * kHop, hard = soft + 10 * kHop;
    const auto points = detectTransientSlices(bursts(44100, {{soft, 0.4f}, {hard, 1.0f}}, 600), kRate, 0.5, 16);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_NEAR(points[0] * 44100, hard, 2 * kHop);

    // 60 ms apart, both stay.
    const std::size_t later = soft + 20 * kHop;
    EXPECT_EQ(detectTransientSlices(bursts(44100, {{soft, 0.4f}, {later, 1.0f}}, 600), kRate, 0.5, 16).size(), 2u);
}

TEST(TransientDetection, KeepsTheStrongestOnsetsInTimeOrder)
{
    // Fifty hits 100 ms apart, each louder than the one before; 32 slices leave room for 31 points.
    std::vector<std::pair<std::size_t, float>> hits;
    for (int k = 0; k < 50; ++k) hits.push_back({static_cast<std::size_t>(40 + 33 * k) * kHop, 0.5f + 0.01f * k});
    const auto points = detectTransientSlices(bursts(hits.back().first + 10000, hits, 1700), kRate, 1.0, 32);
    ASSERT_EQ(points.size(), 31u);
    const double count = static_cast<double>(hits.back().first + 10000);
    for (std::size_t i = 0; i < points.size(); ++i) {
        EXPECT_NEAR(points[i] * count, static_cast<double>(hits[19 + i].first), 2 * kHop) << i;
    }
}

TEST(TransientDetection, SensitivitySetsTheRiseThatCounts)
{
    // A quiet hit after a loud one: its rise passes 4 % of the loudest level but not 30 %.
    const auto samples = bursts(44100, {{20 * kHop, 1.0f}, {200 * kHop, 0.15f}}, 3000);
    EXPECT_EQ(detectTransientSlices(samples, kRate, 0, 16).size(), 2u);
    EXPECT_EQ(detectTransientSlices(samples, kRate, -5, 16).size(), 2u);
    EXPECT_EQ(detectTransientSlices(samples, kRate, std::nan(""), 16).size(), 2u);
    EXPECT_EQ(detectTransientSlices(samples, kRate, 1, 16).size(), 1u);
    EXPECT_EQ(detectTransientSlices(samples, kRate, 7, 16).size(), 1u);
}

TEST(ZeroCrossingSnap, MovesToTheNearestCrossingInTheRadius)
{
    // Positive, negative from 40, positive again from 60.
    std::vector<float> samples(100, 0.5f);
    for (int i = 40; i < 60; ++i) samples[static_cast<std::size_t>(i)] = -0.5f;
    struct Case { double position; double radiusSeconds; double expected; };
    const Case cases[] = {
        {0.48, 0.02, 0.40},   // 8 frames back against 12 forward
        {0.53, 0.02, 0.60},
        {0.50, 0.02, 0.40},   // equally near: the earlier
        {0.10, 0.005, 0.05},  // no crossing within 5 frames: the quietest, the earliest of equals
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(snapSamplePositionToZeroCrossing(samples, c.position, 1000, c.radiusSeconds), c.expected)
            << c.position;
    }
    // With a quieter sample in reach, that one wins when there is no crossing.
    samples[12] = 0.1f;
    EXPECT_DOUBLE_EQ(snapSamplePositionToZeroCrossing(samples, 0.10, 1000, 0.005), 0.12);
}

TEST(ZeroCrossingSnap, EdgesAndUnusableArguments)
{
    // A position of 0 is searched from index 1: the crossing between frames 0 and 1.
    const std::vector<float> startsAtZero{0.0f, 0.3f, 0.3f, 0.3f, 0.3f};
    EXPECT_DOUBLE_EQ(snapSamplePositionToZeroCrossing(startsAtZero, 0, 1000, 0.01), 0.2);

    const std::vector<float> two{0.1f, -0.1f};
    EXPECT_EQ(snapSamplePositionToZeroCrossing(two, 1.7, 1000, 0.01), 1);
    EXPECT_EQ(snapSamplePositionToZeroCrossing(startsAtZero, -3, 0, 0.01), 0);
    EXPECT_EQ(snapSamplePositionToZeroCrossing(startsAtZero, std::nan(""), 1000, 0.01), 0);
    EXPECT_EQ(snapSamplePositionToZeroCrossing(startsAtZero, 0.6, std::nan(""), 0.01), 0.6);
    // A far-off position or radius stays inside the sample.
    const double snapped = snapSamplePositionToZeroCrossing(startsAtZero, 1e300, 1e300, 1e300);
    EXPECT_TRUE(snapped >= 0 && snapped <= 1);
}
