#include "VeltranePlayback/Voices/LiveNoteRendering.hpp"

#include "VeltranePlayback/Voices/ContinuousModulation.hpp"
#include "VeltranePlayback/Voices/NoteFilterDefaults.hpp"
#include "VeltranePlayback/Voices/SampleVoice.hpp"
#include "VeltranePlayback/Voices/SynthVoice.hpp"

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
                                           double sampleRate, ContinuousModulator* modulation)
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
    return renderSynthNote(synthNote, instrument, sampleRate, SynthReleaseStyle::fromGateLevel, modulation);
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

AudioBufferRef renderNote(const LiveNote& note, const Project& project, const SampleBuffer* sample,
                          RenderedNoteCache* cache)
{
    const Instrument& start = note.instrument.start;
    const bool synth = std::holds_alternative<SynthSource>(start.source);
    const bool sampled =
        std::holds_alternative<SampleSource>(start.source) || std::holds_alternative<EmbeddedSource>(start.source);
    if (!synth && !sampled) return nullptr; // a hosted instrument plays by MIDI

    // Playback applies drive, bit reduction, delay and reverb once, on the master chain.
    const NoteStageValues neutral;
    const bool continuous = needsContinuousModulation(note.track, note.instrumentIndex, project);
    const bool cacheable = cache && !continuous && !note.effects.vibrato && !note.effects.tremolo && !note.effects.slide;
    const ScheduledBufferKey key =
        scheduledBufferKey(start, note.note, note.lengthFrames, note.volume, note.pan, neutral);
    if (cacheable) {
        if (auto cached = cache->find(key)) return cached;
    }

    const Instrument render = hasContinuousFilterModulation(note.track, note.instrumentIndex, project)
                                  ? withOpenFilter(start)
                                  : start;
    const double gate = static_cast<double>(note.lengthFrames) / note.sampleRate;
    std::optional<ContinuousModulation> context;
    if (continuous) {
        context = ContinuousModulation{
            .instrumentIndex = note.instrumentIndex,
            .track = note.track,
            .startFrame = note.frame,
            .durationFrames = note.lengthFrames,
            .baseInstrument = note.instrument.base,
            .startInstrument = start,
            .startPan = note.pan,
            .sampleRate = note.sampleRate,
        };
    }
    std::shared_ptr<AudioBuffer> buffer;
    if (synth) {
        // A synth note's continuous modulation runs inside its voice loop.
        std::optional<ContinuousModulator> modulator;
        if (context) modulator.emplace(project, *context);
        buffer = renderedSynth(note.note, render.synthWaveform(), gate, render, note.volume, note.pan, note.effects,
                               note.slideFromNote, neutral.driveAmount, neutral.bitDepth, note.sampleRate,
                               modulator ? &*modulator : nullptr);
    } else if (sample) {
        buffer = renderedSample(*sample, note.note, gate, render, note.volume, note.pan, note.effects,
                                note.slideFromNote, neutral.driveAmount, neutral.bitDepth, note.sampleRate);
        if (buffer && context) applyContinuousModulation(*buffer, project, *context);
    }
    if (!buffer) return nullptr;

    AudioBufferRef sound = std::move(buffer);
    if (cacheable) cache->store(key, sound);
    return sound;
}

} // namespace veltrane
