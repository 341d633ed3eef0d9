#include "VeltraneCore/SampleSlicing/SampleEditing.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace veltrane;

namespace {

// A buffer whose left channel holds 1, 2, 3, … and whose right channel holds the negatives, so every
// output frame tells where it came from and channels cannot be mixed up.
SampleBuffer ramp(std::size_t frames, double sampleRate = 44100)
{
    SampleBuffer buffer{.sampleRate = sampleRate, .channels = {std::vector<float>(frames), std::vector<float>(frames)}};
    for (std::size_t i = 0; i < frames; ++i) {
        buffer.channels[0][i] = static_cast<float>(i + 1);
        buffer.channels[1][i] = -static_cast<float>(i + 1);
    }
    return buffer;
}

SampleBuffer constant(std::size_t frames, float value)
{
    return {.sampleRate = 48000, .channels = {std::vector<float>(frames, value)}};
}

} // namespace

TEST(SampleEditing, TrimAndReverseChooseTheFrames)
{
    struct Case { double trimStart, trimEnd; bool reversed; std::vector<float> left; };
    const double nan = std::nan("");
    const Case cases[] = {
        {0, 1, false, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {0, 1, true, {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
        {0.25, 0.75, false, {3, 4, 5, 6, 7}},          // frames 2 to 6: trims truncate
        {0.25, 0.75, true, {7, 6, 5, 4, 3}},
        {0.5, 0.5, false, {6}},                        // at least one frame
        {0.9, 0.2, false, {10}},                       // an end before the start still leaves a frame
        {1.0, 1.0, false, {10}},                       // a start at the end backs off to the last frame
        {-2, 9, false, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {nan, nan, false, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
    };
    for (const auto& c : cases) {
        const auto edited = editSample(ramp(10), {.trimStart = c.trimStart, .trimEnd = c.trimEnd, .reversed = c.reversed});
        ASSERT_EQ(edited.channelCount(), 2);
        EXPECT_EQ(edited.channels[0], c.left) << c.trimStart << " " << c.trimEnd << " " << c.reversed;
        for (std::size_t i = 0; i < c.left.size(); ++i) EXPECT_EQ(edited.channels[1][i], -c.left[i]);
        EXPECT_EQ(edited.sampleRate, 44100);
    }
}

TEST(SampleEditing, OneFrameFromTheMiddleOfAHundred)
{
    const auto edited = editSample(ramp(100), {.trimStart = 0.5, .trimEnd = 0.5});
    EXPECT_EQ(edited.channels[0], std::vector<float>{51});
}

TEST(SampleEditing, FadesAreLinearRampsThatStartAndEndSilent)
{
    const auto fadedIn = editSample(constant(1000, 0.5f), {.fadeIn = 0.1});
    EXPECT_EQ(fadedIn.channels[0][0], 0.0f);
    EXPECT_FLOAT_EQ(fadedIn.channels[0][50], 0.25f);
    EXPECT_FLOAT_EQ(fadedIn.channels[0][100], 0.5f);
    EXPECT_FLOAT_EQ(fadedIn.channels[0][999], 0.5f);

    const auto fadedOut = editSample(constant(1000, 0.5f), {.fadeOut = 0.1});
    EXPECT_FLOAT_EQ(fadedOut.channels[0][0], 0.5f);
    EXPECT_FLOAT_EQ(fadedOut.channels[0][899], 0.5f);
    EXPECT_FLOAT_EQ(fadedOut.channels[0][949], 0.25f);
    EXPECT_EQ(fadedOut.channels[0][999], 0.0f);

    // Fades are measured on the trimmed length and held to the whole of it.
    const auto both = editSample(constant(1000, 1.0f), {.trimStart = 0.5, .fadeIn = 4, .fadeOut = -1});
    ASSERT_EQ(both.frameCount(), 500);
    EXPECT_FLOAT_EQ(both.channels[0][250], 0.5f);
    EXPECT_FLOAT_EQ(both.channels[0][499], 499.0f / 500.0f);
}

TEST(SampleEditing, NormaliseRaisesThePeakOfTheKeptFramesToFullScale)
{
    // Only frames 2 to 5 are kept: their peak, -6 on the right, sets the gain.
    const auto edited = editSample(ramp(10), {.trimStart = 0.2, .trimEnd = 0.6, .normalized = true});
    const std::vector<float> expected{3.0f / 6, 4.0f / 6, 5.0f / 6, 1.0f};
    ASSERT_EQ(edited.frameCount(), 4);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_FLOAT_EQ(edited.channels[0][i], expected[i]);
        EXPECT_FLOAT_EQ(edited.channels[1][i], -expected[i]);
    }

    // Silence stays silent rather than dividing by zero.
    const auto silent = editSample(constant(10, 0.0f), {.normalized = true});
    EXPECT_EQ(silent.channels[0], std::vector<float>(10, 0.0f));
}

TEST(SampleEditing, AnEmptySampleGivesAnEmptyBuffer)
{
    const SampleBuffer none{.sampleRate = 22050, .channels = {{}, {}}};
    const auto edited = editSample(none, {.trimStart = 0.5, .fadeIn = 0.5, .reversed = true, .normalized = true});
    EXPECT_EQ(edited.frameCount(), 0);
    EXPECT_EQ(edited.channelCount(), 2);
    EXPECT_EQ(edited.sampleRate, 22050);
    EXPECT_EQ(editSample(SampleBuffer{}, {}).frameCount(), 0);

    // A buffer whose channels disagree in length is read only as far as the shortest.
    const SampleBuffer ragged{.channels = {{1, 2, 3, 4}, {5, 6}}};
    EXPECT_EQ(editSample(ragged, {.reversed = true}).channels[0], (std::vector<float>{2, 1}));
}

TEST(SamplePlanEditing, EditingInPlaceGivesWhatEditingACopyGives)
{
    const SampleEdit edits[] = {
        {},
        {.trimStart = 0.1, .trimEnd = 0.9},
        {.trimStart = 0.3, .trimEnd = 0.35, .reversed = true},
        {.trimStart = 0.5, .fadeIn = 0.2, .fadeOut = 0.3, .normalized = true},
        {.trimStart = 0.999, .trimEnd = 0.2, .reversed = true, .normalized = true},
    };
    const SampleBuffer empty{.sampleRate = 44100, .channels = {{}, {}}};
    for (const auto& edit : edits) {
        SampleBuffer source = ramp(1000);
        source.channels.push_back(source.channels.front());
        for (auto& sample : source.channels[1]) sample = -0.5f * sample;
        const SampleBuffer copied = editSample(static_cast<const SampleBuffer&>(source), edit);
        EXPECT_EQ(editSample(std::move(source), edit), copied);
        EXPECT_EQ(editSample(SampleBuffer(empty), edit), editSample(empty, edit));
    }
}
