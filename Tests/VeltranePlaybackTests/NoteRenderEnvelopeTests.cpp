#include "VeltranePlayback/Voices/NoteEnvelope.hpp"
#include "VeltranePlayback/Voices/Oscillator.hpp"

#include <gtest/gtest.h>

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
    NoteOscillator plain(std::nullopt, Waveform::saw);
    EXPECT_DOUBLE_EQ(plain.next(0.25), -0.5); // already a quarter cycle in on the first frame

    // At amount 0 the modulator is inaudible and the carrier plays its own waveform at its own ratio.
    NoteOscillator silentModulator(FMSettings{.amount = 0, .carrier = {.ratio = 2, .waveform = Waveform::saw}},
                                   Waveform::square);
    EXPECT_DOUBLE_EQ(silentModulator.next(0.125), -0.5);

    NoteOscillator sine(std::nullopt, Waveform::sine);
    NoteOscillator modulated(FMSettings{.amount = 0.5}, Waveform::sine);
    double difference = 0;
    for (int i = 0; i < 100; ++i) difference = std::max(difference, std::abs(sine.next(0.01) - modulated.next(0.01)));
    EXPECT_GT(difference, 0.5);
}
