#include "VeltraneCore/SampleSlicing/SamplePeaks.hpp"

#include <gtest/gtest.h>

#include <vector>

using namespace veltrane;

namespace {

TEST(SamplePeaks, TenFramesInFourBucketsGiveFiveBucketsOfTwo)
{
    const std::vector<float> samples = {0.1f, -0.2f, 0.5f, 0.3f, -0.9f, -0.4f, 0.0f, 0.0f, 0.7f, -0.7f};
    EXPECT_EQ(samplePeaks(samples, 4), (std::vector<float>{-0.2f, 0.1f, 0.3f, 0.5f, -0.9f, -0.4f, 0.0f, 0.0f, -0.7f, 0.7f}));
}

// Buckets of one frame each: a bucket's minimum starts from 1 and its maximum from −1, so a single sample
// beyond full scale reports the bound on its other side.
TEST(SamplePeaks, MoreBucketsThanFramesGiveOneFrameEach)
{
    std::vector<float> samples(1000, 0.25f);
    samples[10] = 1.5f;
    samples[11] = -1.5f;
    const auto peaks = samplePeaks(samples, 2000);
    ASSERT_EQ(peaks.size(), 2000u);
    EXPECT_EQ(peaks[0], 0.25f);
    EXPECT_EQ(peaks[1], 0.25f);
    EXPECT_EQ(peaks[20], 1.0f);
    EXPECT_EQ(peaks[21], 1.5f);
    EXPECT_EQ(peaks[22], -1.5f);
    EXPECT_EQ(peaks[23], -1.0f);
}

TEST(SamplePeaks, NothingToShow)
{
    const std::vector<float> samples = {0.5f, -0.5f};
    EXPECT_TRUE(samplePeaks({}, 4).empty());
    EXPECT_TRUE(samplePeaks(samples, 0).empty());
    EXPECT_TRUE(samplePeaks(samples, -3).empty());
    EXPECT_EQ(samplePeaks(samples, 1), (std::vector<float>{-0.5f, 0.5f}));
}

} // namespace
