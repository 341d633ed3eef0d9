#include "VeltranePlayback/Voices/SynthVoice.hpp"

#include "VeltranePlayback/Voices/NoteEnvelope.hpp"
#include "VeltranePlayback/Voices/NoteFilterDefaults.hpp"
#include "VeltranePlayback/Voices/Oscillator.hpp"
#include "VeltranePlayback/Voices/VoiceStages.hpp"
#include "VeltraneCore/DSP/StereoLowPass.hpp"
#include "VeltraneCore/Timing/FrameTime.hpp"
#include "VeltraneCore/Tracker/NoteFrequency.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace veltrane {

namespace {

constexpr double shortestGlideSeconds = 0.001;

bool isPositiveRate(double sampleRate) { return sampleRate > 0 && std::isfinite(sampleRate); }

// The export's ending: the held envelope under a fade that reaches 0 at the end of the buffer.
double fadeOverTailLevel(double time, const SynthNote& note, const Instrument& instrument)
{
    double fade = 1;
    if (instrument.release > 0) fade = std::clamp((note.lengthSeconds - time) / instrument.release, 0.0, 1.0);
    return heldEnvelopeLevel(time, instrument) * fade;
}

double oscillation(const std::optional<EffectOscillation>& wobble, double time)
{
    return wobble ? wobble->depth * std::sin(2 * std::numbers::pi * wobble->rate * time) : 0.0;
}

} // namespace

std::int64_t synthNoteFrames(const SynthNote& note, const Instrument& instrument, double sampleRate,
                             SynthReleaseStyle style)
{
    double frames = 0;
    if (style == SynthReleaseStyle::fromGateLevel) {
        frames = static_cast<double>(lengthFramesForSeconds(
            note.gateSeconds + std::max(instrument.release, shortestReleaseSeconds), sampleRate));
    } else {
        frames = std::trunc(note.lengthSeconds * sampleRate);
    }
    if (!std::isfinite(frames) || frames < 1) return 1;
    if (frames > static_cast<double>(maximumNoteFrames)) return maximumNoteFrames + 1;
    return static_cast<std::int64_t>(frames);
}

void renderSynthFrames(const SynthNote& note, const Instrument& instrument, double sampleRate,
                       SynthReleaseStyle style, float* left, float* right, std::int64_t frames)
{
    const double baseFrequency = noteFrequency(note.note) * std::exp2(instrument.tune / 12);
    const double glideSeconds = std::max(note.gateSeconds, shortestGlideSeconds);
    const PanGains pan = PanGains::forPan(note.pan);
    const double gain = instrument.volume * note.volume * 0.25; // fixed headroom for chords and stacks
    const DriveStage drive(note.driveAmount);
    const BitReductionStage bits(note.bitDepth);
    StereoLowPass filter(sampleRate, noteCutoff(instrument), noteResonance(instrument));
    NoteOscillator oscillator(instrument.fm, note.waveform);

    for (std::int64_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const double progress = std::min(t / glideSeconds, 1.0);
        const double glide = (1 - progress) * note.glideSemitones;
        const double bend = glide / 12 + oscillation(note.vibrato, t) / 1200;
        // Most notes neither glide nor wobble; 2^0 is exactly 1, so skipping it changes no sample.
        const double frequency = bend == 0 ? baseFrequency : baseFrequency * std::exp2(bend);
        const double sample = oscillator.next(frequency / sampleRate);

        const double tremolo =
            note.tremolo ? 1 - note.tremolo->depth * (std::sin(2 * std::numbers::pi * note.tremolo->rate * t) + 1) / 2
                         : 1.0;
        const double envelope = style == SynthReleaseStyle::fromGateLevel
                                    ? envelopeLevel(t, note.gateSeconds, instrument)
                                    : fadeOverTailLevel(t, note, instrument);
        const double level = tremolo * gain * sample * envelope;

        double l = bits(drive(pan.left * level));
        double r = bits(drive(pan.right * level));
        const StereoFrame filtered = filter.process(l, r);
        left[i] = static_cast<float>(filtered.left);
        right[i] = static_cast<float>(filtered.right);
    }
}

std::shared_ptr<AudioBuffer> renderSynthNote(const SynthNote& note, const Instrument& instrument, double sampleRate,
                                             SynthReleaseStyle style)
{
    if (!isPositiveRate(sampleRate)) return nullptr;
    const std::int64_t frames = synthNoteFrames(note, instrument, sampleRate, style);
    if (frames > maximumNoteFrames) return nullptr;
    auto buffer = std::make_shared<AudioBuffer>(frames, sampleRate);
    renderSynthFrames(note, instrument, sampleRate, style, buffer->channel(0), buffer->channel(1), frames);
    return buffer;
}

} // namespace veltrane
