#include "Veltrane/Rendering/LiveNoteRendering.hpp"

#include "Veltrane/Rendering/SampleVoice.hpp"
#include "Veltrane/Rendering/SynthVoice.hpp"

namespace veltrane {

namespace {

// The live engine names the pitch a note slides from; the voices take the distance.
double glideFrom(std::optional<int> slideFromNote, int note)
{
    return slideFromNote ? static_cast<double>(*slideFromNote) - static_cast<double>(note) : 0.0;
}

} // namespace

std::shared_ptr<AudioBuffer> renderedSynth(int note, Waveform waveform, double gateDuration, const Instrument& instrument,
                                           double volume, double pan, const EffectParameters& effects,
                                           std::optional<int> slideFromNote, double driveAmount, double bitDepth,
                                           double sampleRate)
{
    const SynthNote synthNote{
        .note = note,
        .waveform = waveform,
        .gateSeconds = gateDuration,
        .volume = volume,
        .pan = pan,
        .vibrato = effects.vibrato,
        .tremolo = effects.tremolo,
        .glideSemitones = glideFrom(slideFromNote, note),
        .driveAmount = driveAmount,
        .bitDepth = bitDepth,
    };
    return renderSynthNote(synthNote, instrument, sampleRate, SynthReleaseStyle::fromGateLevel);
}

std::shared_ptr<AudioBuffer> renderedSample(const SampleBuffer& source, int note, double gateDuration,
                                            const Instrument& instrument, double volume, double pan,
                                            const EffectParameters& effects, std::optional<int> slideFromNote,
                                            double driveAmount, double bitDepth, double sampleRate)
{
    const SampleNote sampleNote{
        .note = note,
        .gateSeconds = gateDuration,
        .gain = instrument.volume * volume,
        .pan = pan,
        .vibrato = effects.vibrato,
        .tremolo = effects.tremolo,
        .glideSemitones = glideFrom(slideFromNote, note),
        .driveAmount = driveAmount,
        .bitDepth = bitDepth,
    };
    auto buffer = renderSampleNote(source, sampleNote, instrument, sampleRate);
    // A stretch that ended before its first frame has nothing to schedule.
    if (buffer && buffer->frameLength() == 0) return nullptr;
    return buffer;
}

} // namespace veltrane
