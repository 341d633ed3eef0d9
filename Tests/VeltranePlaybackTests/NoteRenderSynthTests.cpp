#include "NoteRenderTestSupport.hpp"

#include "VeltranePlayback/Voices/LiveNoteRendering.hpp"
#include "VeltranePlayback/Voices/SynthVoice.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

std::shared_ptr<AudioBuffer> live(int note, const Instrument& instrument, double gate, double sampleRate,
                                  EffectParameters effects = {}, double pan = 0, std::optional<int> slideFrom = {},
                                  double drive = 0, double bitDepth = 16)
{
    return renderedSynth(note, instrument.synthWaveform(), gate, instrument, 1.0, pan, effects, slideFrom, drive, bitDepth,
                         sampleRate);
}

// A note of a square wave at half a hertz: its first half second is a constant +1, so what comes out is
// the envelope itself (times the headroom and the centre pan gain), untouched by the 18 kHz filter.
Instrument envelopeProbe(double attack, double decay, double sustain, double release)
{
    Instrument instrument = organ(Waveform::square);
    instrument.tune = -48; // note 0 at a sixteenth of 8.18 Hz
    instrument.attack = attack;
    instrument.decay = decay;
    instrument.sustain = sustain;
    instrument.release = release;
    return instrument;
}

constexpr double probeScale = 0.25 * 0.70710678118654752;

} // namespace

TEST(SynthVoice, ANoteLastsItsGatePlusItsReleaseAtLeastFiveMilliseconds)
{
    struct Case {
        SynthReleaseStyle style;
        double gate;
        double length;
        double release;
        double sampleRate;
        std::int64_t frames;
    };
    const Case cases[] = {
        {SynthReleaseStyle::fromGateLevel, 0.5, 0, 0, 48000, 24240}, // 0.505 s
        {SynthReleaseStyle::fromGateLevel, 0.5, 0, 0.2, 48000, 33600},
        {SynthReleaseStyle::fromGateLevel, 0, 0, 0, 48000, 240},
        {SynthReleaseStyle::fadeOverTail, 0.5, 0.7, 0.2, 44100, 30869}, // 30,870 less the float's last bit
        {SynthReleaseStyle::fadeOverTail, 0.5, 0.5, 0, 44100, 22050},
        {SynthReleaseStyle::fadeOverTail, 0, 0, 0, 44100, 1},             // never empty
        {SynthReleaseStyle::fadeOverTail, 0, std::nan(""), 0, 44100, 1},
    };
    for (const auto& c : cases) {
        auto instrument = organ();
        instrument.release = c.release;
        const SynthNote note{.note = 60, .gateSeconds = c.gate, .lengthSeconds = c.length};
        const auto buffer = renderSynthNote(note, instrument, c.sampleRate, c.style);
        ASSERT_TRUE(buffer);
        EXPECT_EQ(buffer->frameLength(), c.frames) << "gate " << c.gate << " release " << c.release;
        EXPECT_EQ(buffer->sampleRate(), c.sampleRate);
    }
    EXPECT_FALSE(renderSynthNote({.gateSeconds = 1}, organ(), 0, SynthReleaseStyle::fromGateLevel));
    EXPECT_FALSE(renderSynthNote({.gateSeconds = 1e9}, organ(), 48000, SynthReleaseStyle::fromGateLevel));
}

TEST(SynthVoice, TheEnvelopeShapesTheNoteInEachReleaseStyle)
{
    // A 0.1, D 0.2, S 0.5, R 0.3 released at 0.05 s, halfway up its attack.
    const auto instrument = envelopeProbe(0.1, 0.2, 0.5, 0.3);
    const SynthNote note{.note = 0, .waveform = Waveform::square, .gateSeconds = 0.05, .lengthSeconds = 0.35};
    const auto liveNote = renderSynthNote(note, instrument, 48000, SynthReleaseStyle::fromGateLevel);
    const auto exported = renderSynthNote(note, instrument, 48000, SynthReleaseStyle::fadeOverTail);
    ASSERT_TRUE(liveNote && exported);

    struct Case {
        double time;
        double live;     // falls from the 0.5 reached at the gate
        double exported; // the envelope runs on under a fade over the last 0.3 s
    };
    const Case cases[] = {
        {0.025, 0.25, 0.25}, {0.05, 0.5, 0.5}, {0.1, 0.5 * (1 - 0.05 / 0.3), 1.0 * (0.25 / 0.3)},
        {0.2, 0.25, 0.75 * 0.5}, {0.3, 0.5 * (1 - 0.25 / 0.3), 0.5 * (0.05 / 0.3)},
    };
    for (const auto& c : cases) {
        const auto frame = static_cast<std::int64_t>(std::llround(c.time * 48000));
        EXPECT_NEAR(liveNote->channel(0)[frame] / probeScale, c.live, 2e-3) << "live at " << c.time;
        EXPECT_NEAR(exported->channel(0)[frame] / probeScale, c.exported, 2e-3) << "export at " << c.time;
    }
    // Silent from the end of the release on; the buffer ends there.
    EXPECT_EQ(liveNote->frameLength(), 16800);
    EXPECT_NEAR(liveNote->channel(0)[16799], 0, 1e-3);
    EXPECT_NEAR(exported->channel(0)[exported->frameLength() - 1], 0, 1e-3);
}

TEST(SynthVoice, A4PlaysFourHundredFortyCyclesASecondInEveryWaveform)
{
    for (const auto waveform : allWaveforms) {
        const auto buffer = live(69, organ(waveform), 1.0, 44100);
        ASSERT_TRUE(buffer);
        EXPECT_NEAR(upwardCrossings(*buffer, 0, 44100), 440, 1) << toRawValue(waveform);
    }
    // Tune moves the pitch: an octave down is half the crossings.
    auto lower = organ();
    lower.tune = -12;
    EXPECT_NEAR(upwardCrossings(*live(69, lower, 1.0, 44100), 0, 44100), 220, 1);
}

TEST(SynthVoice, TheFirstFrameIsAlreadyOneStepIntoTheCycle)
{
    // With the filter's history empty, its first output is b0 times its input.
    const auto buffer = live(69, organ(), 0.1, 48000);
    const double input = 0.70710678118654752 * 0.25 * std::sin(2 * std::numbers::pi * 440 / 48000);
    const double fc = std::min(18000.0, 0.45 * 48000);
    const double w0 = 2 * std::numbers::pi * fc / 48000;
    const double b0 = (1 - std::cos(w0)) / 2 / (1 + std::sin(w0) / (2 * 0.7));
    EXPECT_NEAR(buffer->channel(0)[0], b0 * input, 1e-7);
    EXPECT_EQ(buffer->channel(0)[0], buffer->channel(1)[0]);
}

TEST(SynthVoice, FrequencyModulationAddsSidebandsToThePlainSine)
{
    const auto plain = live(69, organ(), 1.0, 44100);
    auto bell = organ();
    bell.fm = FMSettings{.amount = 0.5, .carrier = {.ratio = 1}, .modulator = {.ratio = 1}};
    const auto modulated = live(69, bell, 1.0, 44100);

    const double plainFundamental = magnitudeAt(*plain, 440, 0, 44100);
    const double plainSecond = magnitudeAt(*plain, 880, 0, 44100);
    const double modulatedSecond = magnitudeAt(*modulated, 880, 0, 44100);
    const double modulatedThird = magnitudeAt(*modulated, 1320, 0, 44100);
    EXPECT_LT(plainSecond, plainFundamental * 1e-3);
    EXPECT_GT(modulatedSecond, plainFundamental * 0.1);
    EXPECT_GT(modulatedThird, plainFundamental * 0.05);

    // With FM settings the waveform argument plays no part.
    const auto viaSquare = renderedSynth(69, Waveform::square, 1.0, bell, 1, 0, {}, std::nullopt, 0, 16, 44100);
    EXPECT_EQ(channelOf(*viaSquare, 0), channelOf(*modulated, 0));
}

TEST(SynthVoice, EachEffectIsHeardInTheNote)
{
    const auto reference = live(69, organ(), 1.0, 44100);
    const double referenceRms = rms(*reference, 0, 44100);

    // Vibrato: 3 Hz at 120 cents bends the pitch up and down; the count over a whole number of cycles
    // stays near 440 but the spacing of crossings varies.
    EffectParameters vibrato;
    vibrato.vibrato = EffectOscillation{3, 120};
    const auto bent = live(69, organ(), 1.0, 44100, vibrato);
    const auto firstQuarter = upwardCrossings(*bent, 0, 3675);       // the first twelfth of a second: above pitch
    const auto thirdQuarter = upwardCrossings(*bent, 7350, 11025);   // the next half-cycle: below pitch
    EXPECT_GT(firstQuarter, thirdQuarter + 2);

    // Tremolo: full depth at 2 Hz dips the level to silence twice a second.
    EffectParameters tremolo;
    tremolo.tremolo = EffectOscillation{2, 1};
    const auto trembling = live(69, organ(), 1.0, 44100, tremolo);
    EXPECT_LT(rms(*trembling, 5000, 6000), referenceRms * 0.1);   // around 0.125 s, the first dip
    EXPECT_GT(rms(*trembling, 16000, 17000), referenceRms * 0.9); // around 0.375 s, the top

    // Slide from an octave below: a quarter of the way through the gate the pitch is still well below.
    const auto gliding = live(69, organ(), 1.0, 44100, {}, 0, 57);
    EXPECT_LT(upwardCrossings(*gliding, 0, 11025), 65);  // about 240 Hz in the first quarter, not 440
    EXPECT_GT(upwardCrossings(*reference, 0, 11025), 105);
    EXPECT_NEAR(upwardCrossings(*gliding, 44100, 44300), upwardCrossings(*reference, 44100, 44300), 1);

    // Drive at full amount pushes the level up towards the tanh's top.
    const auto driven = live(69, organ(), 1.0, 44100, {}, 0, {}, 1.0);
    EXPECT_GT(rms(*driven, 0, 44100), referenceRms * 4);

    // Bit reduction to 4 bits leaves few distinct levels before the filter smooths the steps.
    auto unfiltered = organ(Waveform::saw);
    unfiltered.cutoff = 20000;
    const auto crushed = live(57, unfiltered, 0.2, 44100, {}, 0, {}, 0, 4);
    std::set<float> levels;
    const float* x = crushed->channel(0);
    for (std::int64_t i = 0; i < crushed->frameLength(); ++i) levels.insert(std::round(x[i] * 1000) / 1000);
    const auto smooth = live(57, unfiltered, 0.2, 44100);
    std::set<float> smoothLevels;
    for (std::int64_t i = 0; i < smooth->frameLength(); ++i) smoothLevels.insert(std::round(smooth->channel(0)[i] * 1000) / 1000);
    EXPECT_LT(levels.size() * 3, smoothLevels.size());
}

TEST(SynthVoice, PanFollowsTheEqualPowerLaw)
{
    struct Case {
        double pan;
        double left;
        double right;
    };
    const Case cases[] = {
        {-1, 1, 0}, {0, std::sqrt(0.5), std::sqrt(0.5)}, {1, 0, 1}, {0.5, std::sqrt(0.25), std::sqrt(0.75)},
        {-7, 1, 0},                                        // held to the range
        {std::nan(""), std::sqrt(0.5), std::sqrt(0.5)},     // a damaged pan plays in the centre, not as NaN
    };
    const auto mono = live(69, organ(), 0.5, 44100);
    const double full = rms(*mono, 0, 22050) / std::sqrt(0.5);
    for (const auto& c : cases) {
        const auto panned = live(69, organ(), 0.5, 44100, {}, c.pan);
        EXPECT_NEAR(rms(*panned, 0, 22050, 0) / full, c.left, 1e-6) << c.pan;
        EXPECT_NEAR(rms(*panned, 0, 22050, 1) / full, c.right, 1e-6) << c.pan;
    }
}
