#include "VeltraneCore/SampleSlicing/SamplePlaybackPlan.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace veltrane;

namespace {

Instrument sampler(SampleEdit edit = {}, double release = 0.1, double tune = 0)
{
    auto instrument = Instrument::withBookmark("Sampler", Data(std::string_view("veltrane-path:/x.wav")), "x.wav");
    instrument.sampleEdit = edit;
    instrument.release = release;
    instrument.tune = tune;
    return instrument;
}

// One second of audio at 44.1 kHz rendered at 48 kHz.
std::optional<SamplePlaybackPlan> planFor(const Instrument& instrument, int note, double gate)
{
    return samplePlaybackPlan(44100, 44100, 48000, note, instrument, gate);
}

} // namespace

TEST(SamplePlaybackPlan, WholeSampleTransposesFromMiddleCAndStopsAtTheEarlierOfStretchAndGate)
{
    const auto shortGate = planFor(sampler(), 72, 0.25);
    ASSERT_TRUE(shortGate);
    EXPECT_EQ(shortGate->sourceStartFrame, 0);
    EXPECT_EQ(shortGate->sourceEndFrame, 44100);
    EXPECT_EQ(shortGate->effectiveSemitones, 12);
    EXPECT_FALSE(shortGate->shouldLoop);
    EXPECT_EQ(shortGate->outputFrames, 16800); // (0.25 + 0.1) s at 48 kHz

    const auto longGate = planFor(sampler(), 72, 2);
    ASSERT_TRUE(longGate);
    EXPECT_EQ(longGate->outputFrames, 24000); // one pass an octave up: half a second

    // Middle C plays at the recorded pitch, moved by the instrument's tune.
    EXPECT_EQ(planFor(sampler({}, 0.1, -3), 60, 2)->effectiveSemitones, -3);
    EXPECT_EQ(planFor(sampler({}, 0.1, -3), 60, 2)->outputFrames, 57082); // 48000 × 2^(3/12), rounded
}

TEST(SamplePlaybackPlan, AnInstrumentWithoutAnEditPlaysTheWholeSample)
{
    auto plain = sampler();
    plain.sampleEdit.reset();
    const auto plan = planFor(plain, 60, 10);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->sourceEndFrame, 44100);
    EXPECT_FALSE(plan->shouldLoop);
    EXPECT_EQ(plan->outputFrames, 48000);
}

TEST(SamplePlaybackPlan, SlicesAreChosenFromMiddleCUpAndPlayAtTheInstrumentsTune)
{
    const auto instrument = sampler({.loop = true, .slicePoints = std::vector<double>{0.5}}, 0.1, 2);
    const auto first = planFor(instrument, 60, 10);
    const auto second = planFor(instrument, 61, 10);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->sourceStartFrame, 0);
    EXPECT_EQ(first->sourceEndFrame, 22050);
    EXPECT_EQ(second->sourceStartFrame, 22050);
    EXPECT_EQ(second->sourceEndFrame, 44100);
    EXPECT_EQ(first->effectiveSemitones, 2);
    EXPECT_EQ(second->effectiveSemitones, 2);
    EXPECT_FALSE(first->shouldLoop); // sliced notes never loop, even with the loop switched on
    EXPECT_EQ(first->outputFrames, std::llround(24000 / std::pow(2, 2 / 12.0)));

    EXPECT_FALSE(planFor(instrument, 62, 10));
    EXPECT_FALSE(planFor(instrument, 59, 10));
    EXPECT_FALSE(planFor(instrument, std::numeric_limits<int>::min(), 10));
    // An empty list of points is no slicing at all.
    EXPECT_EQ(planFor(sampler({.slicePoints = std::vector<double>{}}), 64, 10)->effectiveSemitones, 4);
}

TEST(SamplePlaybackPlan, LoopedSampleSoundsForItsWholeGateWithACrossfadedSeam)
{
    const auto plan = planFor(sampler({.loop = true, .loopStart = 0.2}), 60, 3);
    ASSERT_TRUE(plan);
    EXPECT_TRUE(plan->shouldLoop);
    EXPECT_NEAR(plan->loopStartFrame, 8820, 1e-9);
    EXPECT_EQ(plan->loopEndFrame, 44100);
    EXPECT_NEAR(plan->crossfadeSourceFrames, 352.8, 1e-9); // 8 ms by default
    EXPECT_EQ(plan->outputFrames, 148800);                 // gate 3 s plus release 0.1 s, past one pass
}

TEST(SamplePlaybackPlan, LoopPointsAndCrossfadeAreHeldToUsableValues)
{
    struct Case {
        std::optional<double> loopStart, loopEnd, crossfade;
        double startFrame, endFrame, crossfadeFrames;
    };
    const double nan = std::nan("");
    const Case cases[] = {
        // A start at the very end leaves a loop of 0.001 of the sample; the crossfade is half of it.
        {1.0, std::nullopt, std::nullopt, 44055.9, 44100, 22.05},
        {-0.5, 0.5, 0.1, 0, 22050, 4410},
        {nan, nan, nan, 0, 44100, 0},
        {0.5, 0.2, -1, 22050, 22094.1, 0}, // an end before the start sits just after it
        {0.25, 0.75, 0.3, 11025, 33075, 11025},
        {0.1, 2.0, 0.001, 4410, 44100, 44.1},
    };
    for (const auto& c : cases) {
        const auto plan = planFor(sampler({.loop = true, .loopStart = c.loopStart, .loopEnd = c.loopEnd,
                                           .loopCrossfade = c.crossfade}), 60, 1);
        ASSERT_TRUE(plan);
        EXPECT_NEAR(plan->loopStartFrame, c.startFrame, 1e-6);
        EXPECT_NEAR(plan->loopEndFrame, c.endFrame, 1e-6);
        EXPECT_NEAR(plan->crossfadeSourceFrames, c.crossfadeFrames, 1e-6);
    }
}

TEST(SamplePlaybackPlan, ReleaseAndGateHaveFloors)
{
    // 5 ms release plus 1 ms gate at 48 kHz.
    EXPECT_EQ(planFor(sampler({}, 0), 60, 0)->outputFrames, 288);
    EXPECT_EQ(planFor(sampler({}, -1), 60, -4)->outputFrames, 288);
    EXPECT_EQ(planFor(sampler({}, std::nan("")), 60, 0)->outputFrames, 288);
}

TEST(SamplePlaybackPlan, UnplayableArgumentsGiveNoPlan)
{
    const auto instrument = sampler();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(samplePlaybackPlan(1, 44100, 48000, 60, instrument, 1));
    EXPECT_FALSE(samplePlaybackPlan(0, 44100, 48000, 60, instrument, 1));
    EXPECT_FALSE(samplePlaybackPlan(44100, 0, 48000, 60, instrument, 1));
    EXPECT_FALSE(samplePlaybackPlan(44100, 44100, -1, 60, instrument, 1));
    EXPECT_FALSE(samplePlaybackPlan(44100, std::nan(""), 48000, 60, instrument, 1));
    EXPECT_FALSE(samplePlaybackPlan(44100, 44100, inf, 60, instrument, 1));
    EXPECT_FALSE(samplePlaybackPlan(44100, 44100, 48000, 60, instrument, inf));
    EXPECT_FALSE(samplePlaybackPlan(44100, 44100, 48000, 60, instrument, std::nan("")));
    EXPECT_FALSE(samplePlaybackPlan(44100, 44100, 48000, 60, sampler({}, 0.1, std::nan("")), 1));
    EXPECT_TRUE(samplePlaybackPlan(2, 44100, 48000, 60, instrument, 1));
}

TEST(SamplePlaybackPlan, NotesFarOutsideTheKeyboardTransposeWithoutOverflow)
{
    constexpr int lowest = std::numeric_limits<int>::min();
    constexpr int highest = std::numeric_limits<int>::max();
    struct Case {
        int note;
        double semitones;
        std::int64_t outputFrames;
    };
    // Far down the sample never ends, so the gate and release end the note: (1 + 0.1) s at 48 kHz. Far up a
    // pass takes less than a frame, and a note lasts at least one.
    for (const auto& [note, semitones, frames] : {Case{lowest, static_cast<double>(lowest) - 60, 52800},
                                                  Case{highest, static_cast<double>(highest) - 60, 1},
                                                  Case{-2000, -2060, 52800}, Case{3000, 2940, 1}}) {
        const auto plan = planFor(sampler(), note, 1);
        ASSERT_TRUE(plan) << note;
        EXPECT_EQ(plan->effectiveSemitones, semitones) << note;
        EXPECT_EQ(plan->outputFrames, frames) << note;
    }
    // With slices such notes fall on no slice.
    const auto sliced = sampler(SampleEdit{.slicePoints = std::vector<double>{0.5}});
    EXPECT_FALSE(planFor(sliced, lowest, 1));
    EXPECT_FALSE(planFor(sliced, highest, 1));
}

TEST(SamplePlaybackPlan, CrossfadeMixRunsFromTailToHead)
{
    EXPECT_FLOAT_EQ(loopCrossfadeMix(1, 0, 0.25), 0.75f);
    EXPECT_FLOAT_EQ(loopCrossfadeMix(0.2f, 0.8f, -1), 0.2f);
    EXPECT_FLOAT_EQ(loopCrossfadeMix(0.2f, 0.8f, 2), 0.8f);
    EXPECT_FLOAT_EQ(loopCrossfadeMix(0.2f, 0.8f, std::nan("")), 0.2f);
}
