#include "VeltraneCore/Modulation/ModulationSignal.hpp"
#include "VeltraneCore/DSP/WideInstructions.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

using namespace veltrane;

namespace {

constexpr double kRate = 48000;
constexpr double kBpm = 120; // one beat is 24,000 frames at kRate

ModulationSource lfo(ModulationWaveform waveform, double rateBeats = 1, double phase = 0)
{
    return {.kind = ModulationSourceKind::lfo, .waveform = waveform, .rateBeats = rateBeats, .phase = phase};
}

ModulationSource envelope(double attack, double decay, double sustain, double release)
{
    return {.kind = ModulationSourceKind::envelope, .attack = attack, .decay = decay, .sustain = sustain,
            .release = release};
}

double lfoAt(const ModulationSource& source, std::int64_t frame)
{
    return modulationSignal(source, frame, 0, 1, kRate, kBpm);
}

// The signal at `seconds` after the note's start, the note starting at frame 1,000 (envelopes run from
// the note, not from the timeline).
double envelopeAt(const ModulationSource& source, double seconds, double noteSeconds)
{
    const std::int64_t start = 1000;
    return modulationSignal(source, start + std::llround(seconds * kRate), start, std::llround(noteSeconds * kRate),
                            kRate, kBpm);
}

} // namespace

TEST(ModulationSignal, SineLFOFollowsTheBeat)
{
    const auto sine = lfo(ModulationWaveform::sine);
    EXPECT_NEAR(lfoAt(sine, 0), 0, 1e-12);
    EXPECT_NEAR(lfoAt(sine, 6000), 1, 1e-12);   // a quarter beat
    EXPECT_NEAR(lfoAt(sine, 18000), -1, 1e-12); // three quarters
    EXPECT_NEAR(lfoAt(sine, 24000), 0, 1e-9);   // one beat: a whole cycle
    // A cycle of two beats takes twice as long, and the tempo scales the time.
    EXPECT_NEAR(lfoAt(lfo(ModulationWaveform::sine, 2), 12000), 1, 1e-12);
    EXPECT_NEAR(modulationSignal(sine, 3000, 0, 1, kRate, 240), 1, 1e-12);
}

TEST(ModulationSignal, WaveformShapesAtChosenCyclePositions)
{
    struct Case { ModulationWaveform waveform; double fraction; double expected; };
    const Case cases[] = {
        {ModulationWaveform::triangle, 0, 1},     {ModulationWaveform::triangle, 0.25, 0},
        {ModulationWaveform::triangle, 0.5, -1},  {ModulationWaveform::triangle, 0.75, 0},
        {ModulationWaveform::saw, 0, -1},         {ModulationWaveform::saw, 0.25, -0.5},
        {ModulationWaveform::saw, 0.75, 0.5},     {ModulationWaveform::square, 0, 1},
        {ModulationWaveform::square, 0.25, 1},    {ModulationWaveform::square, 0.5, -1},
        {ModulationWaveform::square, 0.75, -1},
    };
    for (const auto& c : cases) {
        const auto frame = static_cast<std::int64_t>(c.fraction * 24000);
        EXPECT_NEAR(lfoAt(lfo(c.waveform), frame), c.expected, 1e-12)
            << toRawValue(c.waveform) << " at " << c.fraction;
    }
}

TEST(ModulationSignal, PhaseShiftsByCyclesAndWholeCyclesOnlyMoveTheRandomLFO)
{
    for (const auto waveform : {ModulationWaveform::sine, ModulationWaveform::triangle, ModulationWaveform::saw,
                                ModulationWaveform::square}) {
        for (const std::int64_t frame : {0, 5000, 17000}) {
            EXPECT_NEAR(lfoAt(lfo(waveform, 1, 1.25), frame), lfoAt(lfo(waveform, 1, 0.25), frame), 1e-9)
                << toRawValue(waveform);
        }
    }
    // A quarter-cycle phase puts the sine at its peak at frame 0.
    EXPECT_NEAR(lfoAt(lfo(ModulationWaveform::sine, 1, 0.25), 0), 1, 1e-12);
    EXPECT_NEAR(lfoAt(lfo(ModulationWaveform::sine, 1, -0.75), 0), 1, 1e-12);

    auto random = lfo(ModulationWaveform::random);
    auto shifted = random;
    shifted.phase = 1;
    EXPECT_NE(lfoAt(random, 0), lfoAt(shifted, 0));
    EXPECT_EQ(lfoAt(shifted, 0), lfoAt(random, 24000)); // the next cycle's value
}

TEST(ModulationSignal, RandomLFOIsAFixedSequenceOfCycleAndIdentifier)
{
    EXPECT_DOUBLE_EQ(randomLFOValue(0, 0), 0.5392391140295336);
    EXPECT_DOUBLE_EQ(randomLFOValue(1, 0), 0.07621344563655574);
    EXPECT_DOUBLE_EQ(randomLFOValue(0, 1), 0.07621344563655574);
    EXPECT_DOUBLE_EQ(randomLFOValue(2, 0), -0.9874595768565018);

    // The source's first identifier byte picks where its sequence starts; the value holds for a whole cycle.
    auto random = lfo(ModulationWaveform::random);
    random.id = *Uuid::fromString("01000000-0000-4000-8000-000000000000");
    for (const std::int64_t frame : {0, 12000, 23999}) EXPECT_DOUBLE_EQ(lfoAt(random, frame), randomLFOValue(0, 1));
    EXPECT_DOUBLE_EQ(lfoAt(random, 24000), randomLFOValue(2, 0));
    // Calling again gives the same value: there is no hidden state.
    EXPECT_EQ(lfoAt(random, 90000), lfoAt(random, 90000));
}

TEST(ModulationSignal, LFOFloorsItsRateAndIgnoresFramesBeforeZeroAndTheNote)
{
    // A rate of 0 (or not a number) is a cycle of 1/64 beat: 375 frames here.
    for (const double rate : {0.0, -2.0, std::nan("")}) {
        EXPECT_NEAR(lfoAt(lfo(ModulationWaveform::sine, rate), 375 / 4), std::sin(2 * M_PI * 93 / 375.0), 1e-12);
    }
    const auto saw = lfo(ModulationWaveform::saw);
    EXPECT_EQ(lfoAt(saw, -5000), lfoAt(saw, 0));
    EXPECT_EQ(modulationSignal(saw, 6000, 0, 1, kRate, kBpm), modulationSignal(saw, 6000, 4000, 99, kRate, kBpm));
}

TEST(ModulationSignal, EnvelopeStagesOverALongNote)
{
    const auto env = envelope(0.1, 0.2, 0.5, 0.4);
    struct Case { double seconds; double expected; };
    const Case cases[] = {{0, 0}, {0.05, 0.5}, {0.1, 1}, {0.2, 0.75}, {0.3, 0.5}, {0.6, 0.5},
                          {1.0, 0.5}, {1.2, 0.25}, {1.4, 0}, {3.0, 0}};
    for (const auto& c : cases) EXPECT_NEAR(envelopeAt(env, c.seconds, 1.0), c.expected, 1e-9) << c.seconds;
}

TEST(ModulationSignal, EnvelopeOfAShortNoteRunsAttackAndDecayPastTheGate)
{
    const auto env = envelope(0.1, 0.2, 0.5, 0.4);
    struct Case { double seconds; double expected; };
    const Case cases[] = {{0.05, 0.5}, {0.1, 1}, {0.2, 0.75}, {0.4, 0.0625}, {0.45, 0}, {0.6, 0}};
    for (const auto& c : cases) EXPECT_NEAR(envelopeAt(env, c.seconds, 0.05), c.expected, 1e-9) << c.seconds;
    // Just past the end of the decay the release ramp, measured from the gate, is already under way:
    // 0.5 × (1 − (0.3 − 0.05) / 0.4) = 0.1875.
    EXPECT_NEAR(modulationSignal(env, 1000 + 14401, 1000, 2400, kRate, kBpm), 0.1875, 1e-4);
}

TEST(ModulationSignal, EnvelopeFloorsAndFramesBeforeTheNote)
{
    // A zero-frame note has a gate of one frame; a release of 0 lasts 1 ms.
    const auto plain = envelope(0, 0, 0.6, 0);
    EXPECT_NEAR(modulationSignal(plain, 1001, 1000, 0, kRate, kBpm), 0.6, 1e-12);
    EXPECT_NEAR(modulationSignal(plain, 1000 + 1 + 24, 1000, 0, kRate, kBpm), 0.3, 1e-9);
    EXPECT_EQ(modulationSignal(plain, 1000 + 1 + 48, 1000, 0, kRate, kBpm), 0);

    // Before the note's start: its start (0 in an attack, 1 at the top of a decay, else the sustain).
    EXPECT_EQ(modulationSignal(envelope(0.1, 0.2, 0.5, 0.4), 10, 1000, 500, kRate, kBpm), 0);
    EXPECT_EQ(modulationSignal(envelope(0, 0.2, 0.5, 0.4), 10, 1000, 500, kRate, kBpm), 1);
    EXPECT_EQ(modulationSignal(envelope(0, 0, 0.5, 0.4), 10, 1000, 500, kRate, kBpm), 0.5);

    // With no sustain the envelope is silent from the end of the decay.
    EXPECT_EQ(envelopeAt(envelope(0.1, 0.2, 0, 0.4), 0.31, 1.0), 0);
}

TEST(ModulationSignal, MacroIsItsValueHeldToZeroToOne)
{
    struct Case { double value; double expected; };
    const Case cases[] = {{0.3, 0.3}, {1.7, 1}, {-0.2, 0}, {std::nan(""), 0}};
    for (const auto& c : cases) {
        const ModulationSource macro{.kind = ModulationSourceKind::macro, .macroValue = c.value};
        EXPECT_EQ(modulationSignal(macro, 12345, 0, 1, kRate, kBpm), c.expected);
    }
}

TEST(ModulationSignal, ArgumentsThatGiveNoNumberGiveASilentSignal)
{
    const double inf = std::numeric_limits<double>::infinity();
    const auto max = std::numeric_limits<std::int64_t>::max();
    const auto min = std::numeric_limits<std::int64_t>::min();
    for (const auto waveform : allModulationWaveforms) {
        EXPECT_EQ(modulationSignal(lfo(waveform), 1000, 0, 1, 0, kBpm), 0) << toRawValue(waveform);
        EXPECT_EQ(modulationSignal(lfo(waveform), 1000, 0, 1, kRate, std::nan("")), 0) << toRawValue(waveform);
        EXPECT_EQ(modulationSignal(lfo(waveform, 1, inf), 1000, 0, 1, kRate, kBpm), 0) << toRawValue(waveform);
        const double huge = modulationSignal(lfo(waveform, 1, 1e300), 1000, 0, 1, kRate, kBpm);
        EXPECT_TRUE(huge >= -1 && huge <= 1) << toRawValue(waveform);
    }
    const auto env = envelope(0.1, 0.2, 0.5, 0.4);
    EXPECT_EQ(modulationSignal(env, 1000, 0, 1, 0, kBpm), 0);
    // Frames whose distance overflows: far past the release, or before the start.
    EXPECT_EQ(modulationSignal(env, max, min, 1, kRate, kBpm), 0);
    EXPECT_EQ(modulationSignal(env, min, max, 1, kRate, kBpm), 0);
}

TEST(ModulationSignal, SignalsOfManyFramesAreEachFramesSignal)
{
    auto random = lfo(ModulationWaveform::random);
    random.id.bytes[0] = 7;
    std::vector<std::pair<std::string, ModulationSource>> sources;
    for (const auto waveform : allModulationWaveforms) {
        sources.push_back({std::string(toRawValue(waveform)), lfo(waveform, 0.5, 0.3)});
    }
    sources.push_back({"random", random});
    sources.push_back({"envelope", envelope(0.01, 0.05, 0.5, 0.1)});
    sources.push_back({"macro", {.kind = ModulationSourceKind::macro, .macroValue = 0.4}});
    sources.push_back({"a phase beyond 2^51 cycles", lfo(ModulationWaveform::saw, 1, 3e15)});
    sources.push_back({"an endless phase", lfo(ModulationWaveform::square, 1, std::numeric_limits<double>::infinity())});
    struct Run { std::int64_t first, stride; int count; double bpm; };
    // Runs of one frame to 64, every frame and every 16th, from before the timeline's start, across the
    // edges of cycles (a cycle is 12,000 frames here), and at a tempo that is not a number.
    const Run runs[] = {{-40, 1, 64, kBpm}, {11990, 1, 23, kBpm}, {5990, 16, 32, kBpm}, {0, 16, 1, kBpm},
                        {23999, 1, 3, kBpm}, {100, 1, 8, std::nan("")}, {700000, 16, 17, 133}};
    const auto expectEachFramesSignal = [&](const std::string& copy) {
        for (const auto& [name, source] : sources) {
            for (const Run& run : runs) {
                double values[64];
                modulationSignals(source, run.first, run.stride, run.count, 9000, 2000, kRate, run.bpm, values);
                for (int k = 0; k < run.count; ++k) {
                    const std::int64_t frame = run.first + k * run.stride;
                    const double expected = modulationSignal(source, frame, 9000, 2000, kRate, run.bpm);
                    // The sine is a polynomial here, within double rounding of the library's; the rest,
                    // the edges of cycles included, is the very same.
                    if (source.kind == ModulationSourceKind::lfo && source.waveform == ModulationWaveform::sine) {
                        EXPECT_NEAR(values[k], expected, 1e-15) << name << " at frame " << frame << ", " << copy;
                    } else {
                        EXPECT_EQ(values[k], expected) << name << " at frame " << frame << ", " << copy;
                    }
                }
            }
        }
    };
    // The copy built for the wider instructions (where the processor has them), then the one for any.
    expectEachFramesSignal("the running copy");
    WideInstructionsRefusal refusal;
    expectEachFramesSignal("the copy for any x86-64");
}
