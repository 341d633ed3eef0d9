// The synth voice against the voice as it was first written: one plain loop per frame with the library's
// sine, floor and round, every division in place, and the filter's subnormal check by classification.
// That loop is kept here as the reference. The voice built for speed must give the same note, frame by
// frame, to within float rounding, for every waveform and operator pair, every effect, both endings and
// the drive and bit-reduction stages.

#include "NoteRenderTestSupport.hpp"

#include "VeltranePlayback/Voices/NoteEnvelope.hpp"
#include "VeltranePlayback/Voices/NoteFilterDefaults.hpp"
#include "VeltranePlayback/Voices/SynthVoice.hpp"
#include "VeltranePlayback/Voices/VoiceStages.hpp"
#include "VeltraneCore/DSP/StereoLowPass.hpp"
#include "VeltraneCore/DSP/WideInstructions.hpp"
#include "VeltraneCore/Presets/InstrumentPreset.hpp"
#include "VeltraneCore/Tracker/NoteFrequency.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace veltrane::testing {
namespace {

// ---- The reference voice, as first written ----

double referenceWave(Waveform waveform, double x)
{
    switch (waveform) {
    case Waveform::sine: return std::sin(2 * std::numbers::pi * x);
    case Waveform::triangle: return 1 - 4 * std::abs(std::round(x) - x);
    case Waveform::saw: return 2 * x - 1;
    case Waveform::square: return x < 0.5 ? 1.0 : -1.0;
    }
    return 0;
}

struct ReferenceOscillator {
    ReferenceOscillator(const std::optional<FMSettings>& fm, Waveform waveform) : waveform(waveform)
    {
        if (fm) {
            this->fm = true;
            amount = fm->amount;
            carrierWaveform = fm->carrier.waveform;
            modulatorWaveform = fm->modulator.waveform;
            carrierStep = std::exp2(fm->carrier.fine / 1200) * fm->carrier.ratio;
            modulatorStep = std::exp2(fm->modulator.fine / 1200) * fm->modulator.ratio;
        }
    }
    double next(double cycles)
    {
        if (!fm) {
            phase += cycles;
            return referenceWave(waveform, phase - std::floor(phase));
        }
        modulatorPhase += modulatorStep * cycles;
        const double m = referenceWave(modulatorWaveform, modulatorPhase - std::floor(modulatorPhase));
        phase += carrierStep * cycles;
        const double q = phase + amount * m * 12 / (2 * std::numbers::pi);
        return referenceWave(carrierWaveform, q - std::floor(q));
    }
    Waveform waveform;
    bool fm = false;
    double amount = 0;
    Waveform carrierWaveform = Waveform::sine, modulatorWaveform = Waveform::sine;
    double carrierStep = 1, modulatorStep = 1, phase = 0, modulatorPhase = 0;
};

struct ReferenceFilter {
    ReferenceFilter(double rate, double cutoff, double resonance) : coefficients(rate, cutoff, resonance) {}
    static double flush(double value) { return std::fpclassify(value) == FP_SUBNORMAL ? 0.0 : value; }
    double step(double x, double history[4]) const
    {
        const StereoLowPass& c = coefficients;
        const double y = flush(c.b0 * x + c.b1 * history[0] + c.b2 * history[1] - c.a1 * history[2] - c.a2 * history[3]);
        history[1] = history[0];
        history[0] = x;
        history[3] = history[2];
        history[2] = y;
        return y;
    }
    StereoLowPass coefficients;
};

double referenceOscillation(const std::optional<EffectOscillation>& wobble, double time)
{
    return wobble ? wobble->depth * std::sin(2 * std::numbers::pi * wobble->rate * time) : 0.0;
}

std::vector<float> referenceNote(const SynthNote& note, const Instrument& instrument, double sampleRate,
                                 SynthReleaseStyle style, int channel)
{
    const std::int64_t frames = synthNoteFrames(note, instrument, sampleRate, style);
    const double baseFrequency = noteFrequency(note.note) * std::exp2(instrument.tune / 12);
    const double glideSeconds = std::max(note.gateSeconds, 0.001);
    const PanGains pan = PanGains::forPan(note.pan);
    const double gain = instrument.volume * note.volume * 0.25;
    const DriveStage drive(note.driveAmount);
    const BitReductionStage bits(note.bitDepth);
    const ReferenceFilter filter(sampleRate, noteCutoff(instrument), noteResonance(instrument));
    double history[4] = {0, 0, 0, 0};
    ReferenceOscillator oscillator(instrument.fm, note.waveform);
    std::vector<float> out;
    for (std::int64_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const double progress = std::min(t / glideSeconds, 1.0);
        const double bend = (1 - progress) * note.glideSemitones / 12 + referenceOscillation(note.vibrato, t) / 1200;
        const double frequency = bend == 0 ? baseFrequency : baseFrequency * std::exp2(bend);
        const double sample = oscillator.next(frequency / sampleRate);
        const double tremolo =
            note.tremolo ? 1 - note.tremolo->depth * (std::sin(2 * std::numbers::pi * note.tremolo->rate * t) + 1) / 2 : 1.0;
        double envelope = envelopeLevel(t, note.gateSeconds, instrument);
        if (style == SynthReleaseStyle::fadeOverTail) {
            const double fade =
                instrument.release > 0 ? std::clamp((note.lengthSeconds - t) / instrument.release, 0.0, 1.0) : 1.0;
            envelope = heldEnvelopeLevel(t, instrument) * fade;
        }
        const double level = tremolo * gain * sample * envelope;
        out.push_back(static_cast<float>(filter.step(bits(drive((channel == 0 ? pan.left : pan.right) * level)), history)));
    }
    return out;
}

// ---- The comparison ----

struct VoiceCase {
    std::string name;
    Instrument instrument;
    SynthNote note;
};

std::vector<VoiceCase> voiceCases()
{
    std::vector<VoiceCase> cases;
    const SynthNote plain{.note = 57, .gateSeconds = 0.3, .lengthSeconds = 0.45, .volume = 0.8, .pan = 0.3};
    for (const Waveform waveform : allWaveforms) {
        Instrument synth = Instrument::withWaveform("Plain", waveform);
        synth.cutoff = 3000;
        synth.resonance = 2.5;
        cases.push_back({"plain " + std::string(toRawValue(waveform)), synth, {.waveform = waveform}});
        cases.back().note = plain;
        cases.back().note.waveform = waveform;
        for (const Waveform modulator : allWaveforms) {
            Instrument fm = Instrument::withFM("FM", FMSettings{.amount = 0.7,
                                                                .carrier = {.ratio = 1, .waveform = waveform, .fine = 3},
                                                                .modulator = {.ratio = 3.01, .waveform = modulator}});
            cases.push_back({"FM " + std::string(toRawValue(waveform)) + " by " + std::string(toRawValue(modulator)), fm, plain});
        }
    }
    for (const InstrumentPreset preset : allInstrumentPresets) {
        cases.push_back({"preset " + std::string(toRawValue(preset)), instrument(preset), plain});
    }
    Instrument lead = instrument(InstrumentPreset::trackerLead);
    SynthNote note = plain;
    note.vibrato = EffectOscillation{6, 35};
    cases.push_back({"vibrato", lead, note});
    note = plain;
    note.tremolo = EffectOscillation{9, 0.6};
    cases.push_back({"tremolo", lead, note});
    note = plain;
    note.glideSemitones = -7;
    cases.push_back({"glide", lead, note});
    note.vibrato = EffectOscillation{4, 50};
    note.tremolo = EffectOscillation{3, 0.4};
    cases.push_back({"glide, vibrato and tremolo", instrument(InstrumentPreset::glassBell), note});
    note = plain;
    note.driveAmount = 0.6;
    note.bitDepth = 6;
    cases.push_back({"drive and bit reduction", instrument(InstrumentPreset::acidBass), note});
    note = plain;
    note.gateSeconds = 0.001;
    note.lengthSeconds = 0.2;
    cases.push_back({"cut during the attack", instrument(InstrumentPreset::warmPad), note});
    Instrument sub = instrument(InstrumentPreset::subBass);
    sub.release = 0;
    note = plain;
    note.lengthSeconds = note.gateSeconds;
    cases.push_back({"release of 0", sub, note});
    return cases;
}

void expectEveryVoiceSoundsAsTheReference()
{
    for (const auto& c : voiceCases()) {
        for (const auto style : {SynthReleaseStyle::fadeOverTail, SynthReleaseStyle::fromGateLevel}) {
            for (const double rate : {44100.0, 48000.0}) {
                const auto buffer = renderSynthNote(c.note, c.instrument, rate, style);
                ASSERT_NE(buffer, nullptr) << c.name;
                for (int channel = 0; channel < 2; ++channel) {
                    const auto reference = referenceNote(c.note, c.instrument, rate, style, channel);
                    const auto rendered = channelOf(*buffer, channel);
                    ASSERT_EQ(rendered.size(), reference.size()) << c.name;
                    double largest = 0;
                    for (std::size_t i = 0; i < rendered.size(); ++i) {
                        largest = std::max(largest, std::abs(double(rendered[i]) - reference[i]));
                    }
                    EXPECT_LE(largest, 1e-6) << c.name << ", channel " << channel << ", " << rate << " Hz, "
                                             << (style == SynthReleaseStyle::fadeOverTail ? "export" : "live");
                }
            }
        }
    }
}

TEST(SynthVoiceReference, EveryVoiceSoundsAsTheReferenceLoopToWithinFloatRounding)
{
    expectEveryVoiceSoundsAsTheReference();
}

// The voice loop is built once for any x86-64 and once for processors with AVX2 and FMA, and this
// processor runs the second: the first must sound the same too.
TEST(SynthVoiceReference, TheLoopBuiltForAnyProcessorSoundsAsTheReferenceToo)
{
    WideInstructionsRefusal portable;
    expectEveryVoiceSoundsAsTheReference();
}

} // namespace
} // namespace veltrane::testing
