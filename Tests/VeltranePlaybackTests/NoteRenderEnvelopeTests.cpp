#include "VeltranePlayback/Voices/NoteEnvelope.hpp"
#include "VeltranePlayback/Voices/NoteEnvelopeShape.hpp"
#include "VeltranePlayback/Voices/Oscillator.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

using namespace veltrane;

namespace {

Instrument adsr(double attack, double decay, double sustain, double release)
{
    Instrument instrument;
    instrument.attack = attack;
    instrument.decay = decay;
    instrument.sustain = sustain;
    instrument.release = release;
    return instrument;
}

} // namespace

TEST(NoteEnvelope, FollowsAttackDecaySustainAndReleasesFromTheLevelReachedAtTheGate)
{
    const auto shape = adsr(0.1, 0.2, 0.5, 0.3);
    struct Case {
        double time;
        double gate;
        double level;
    };
    const Case cases[] = {
        {0.0, 1.0, 0.0},  {0.05, 1.0, 0.5}, {0.1, 1.0, 1.0},  {0.2, 1.0, 0.75}, {0.3, 1.0, 0.5},
        {0.9, 1.0, 0.5},  {1.15, 1.0, 0.25}, {1.3, 1.0, 0.0}, {2.0, 1.0, 0.0},
        // Released during the attack: the fall starts at the 0.5 reached at the gate.
        {0.05, 0.05, 0.5}, {0.2, 0.05, 0.25}, {0.35, 0.05, 0.0}, {0.5, 0.05, 0.0},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(envelopeLevel(c.time, c.gate, shape), c.level, 1e-12) << "time " << c.time << " gate " << c.gate;
    }
}

TEST(NoteEnvelope, ZeroStagesJumpAndAZeroReleaseStillFadesOverFiveMilliseconds)
{
    const auto organ = adsr(0, 0, 0.6, 0);
    EXPECT_EQ(envelopeLevel(0, 1, organ), 0.6);
    EXPECT_NEAR(envelopeLevel(1.0025, 1, organ), 0.3, 1e-9);
    EXPECT_NEAR(envelopeLevel(1.005, 1, organ), 0, 1e-12);
    EXPECT_EQ(envelopeLevel(1.006, 1, organ), 0);
}

TEST(NoteOscillator, WaveShapesAtTheirDefiningPhases)
{
    struct Case {
        Waveform waveform;
        double x;
        double value;
    };
    const Case cases[] = {
        {Waveform::sine, 0.25, 1},      {Waveform::sine, 0.75, -1},     {Waveform::triangle, 0, 1},
        {Waveform::triangle, 0.5, -1},  {Waveform::triangle, 0.25, 0},  {Waveform::saw, 0, -1},
        {Waveform::saw, 0.75, 0.5},     {Waveform::square, 0.49, 1},    {Waveform::square, 0.5, -1},
    };
    for (const auto& c : cases) EXPECT_NEAR(waveSample(c.waveform, c.x), c.value, 1e-12) << c.x;
}

TEST(NoteOscillator, AdvancesBeforeReadingAndFMBendsTheCarrier)
{
    // The first `count` samples of the oscillator of `fm`, else of `waveform`, stepping `cycles` a frame.
    const auto samples = [](const std::optional<FMSettings>& fm, Waveform waveform, double cycles, int count) {
        std::vector<double> out;
        visitOscillator(fm, waveform, [&](auto oscillator) {
            for (int i = 0; i < count; ++i) out.push_back(oscillator.next(cycles));
        });
        return out;
    };
    EXPECT_DOUBLE_EQ(samples(std::nullopt, Waveform::saw, 0.25, 1)[0], -0.5); // a quarter cycle in on the first frame

    // At amount 0 the modulator is inaudible and the carrier plays its own waveform at its own ratio.
    EXPECT_DOUBLE_EQ(
        samples(FMSettings{.amount = 0, .carrier = {.ratio = 2, .waveform = Waveform::saw}}, Waveform::square, 0.125, 1)[0],
        -0.5);

    const auto sine = samples(std::nullopt, Waveform::sine, 0.01, 100);
    const auto modulated = samples(FMSettings{.amount = 0.5}, Waveform::sine, 0.01, 100);
    double difference = 0;
    for (int i = 0; i < 100; ++i) difference = std::max(difference, std::abs(sine[std::size_t(i)] - modulated[std::size_t(i)]));
    EXPECT_GT(difference, 0.5);

    // A waveform outside the four (a damaged value) plays silence, alone or as the modulator.
    for (const double sample : samples(std::nullopt, silentWaveform, 0.01, 10)) EXPECT_EQ(sample, 0);
    const FMSettings damaged{.amount = 1, .modulator = {.waveform = silentWaveform}};
    EXPECT_EQ(samples(damaged, Waveform::sine, 0.01, 50), samples(FMSettings{.amount = 0}, Waveform::sine, 0.01, 50));
}

// The voice takes a note's levels a run of frames at a time, one stage's formula per run where it can:
// every level must be the very value of the frame-by-frame evaluation, across every stage boundary, the
// export's fade and a release of 0.
TEST(NoteEnvelope, LevelsOfARunAreThoseOfEachFrameExactly)
{
    struct Case {
        const char* name;
        Instrument instrument;
        double gate;
        double length;
    };
    const Case cases[] = {
        {"all stages", adsr(0.01, 0.02, 0.5, 0.03), 0.05, 0.08},
        {"no attack, no decay", adsr(0, 0, 0.7, 0.02), 0.03, 0.05},
        {"cut during the attack", adsr(0.05, 0.02, 0.4, 0.02), 0.01, 0.03},
        {"release longer than the note", adsr(0.002, 0.01, 0.6, 0.5), 0.02, 0.04},
        {"release of 0", adsr(0.003, 0.004, 0.8, 0), 0.02, 0.02},
    };
    constexpr double rate = 44100;
    for (const auto& c : cases) {
        for (const bool fadeOverTail : {true, false}) {
            const NoteEnvelopeShape shape(c.instrument, c.gate, c.length, fadeOverTail);
            const auto frames = static_cast<std::int64_t>(std::max(c.length, c.gate + c.instrument.release) * rate) + 200;
            // Runs of the voice's length, and odd ones that fall across the boundaries elsewhere.
            for (const int run : {64, 7, 1}) {
                std::vector<double> levels(static_cast<std::size_t>(run));
                for (std::int64_t first = 0; first < frames; first += run) {
                    shape.fill(first, run, 1 / rate, levels.data());
                    for (int k = 0; k < run; ++k) {
                        const double expected = shape.at(static_cast<double>(first + k) * (1 / rate));
                        ASSERT_EQ(levels[std::size_t(k)], expected)
                            << c.name << (fadeOverTail ? ", export" : ", live") << ", frame " << first + k << ", run " << run;
                    }
                }
            }
        }
    }
}
