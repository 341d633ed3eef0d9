#include "VeltranePlayback/NotePlan/OfflineNoteRendering.hpp"

#include "VeltranePlayback/Voices/ContinuousModulation.hpp"
#include "VeltranePlayback/NotePlan/InstrumentLocks.hpp"
#include "VeltranePlayback/NotePlan/NotePlan.hpp"
#include "VeltranePlayback/Voices/NoteFilterDefaults.hpp"
#include "VeltranePlayback/NotePlan/NotePreparation.hpp"
#include "VeltranePlayback/Voices/SampleVoice.hpp"
#include "VeltranePlayback/Voices/SynthVoice.hpp"
#include "VeltraneCore/DSP/StereoSpatialFX.hpp"
#include "VeltraneCore/SampleSlicing/SampleEditing.hpp"
#include "VeltraneCore/SampleSlicing/SampleSlices.hpp"
#include "VeltraneCore/Timing/FrameTime.hpp"
#include "VeltranePlayback/Samples/SampleStore.hpp"

#include <algorithm>
#include <type_traits>
#include <variant>

namespace veltrane {

namespace {

constexpr double rate = OfflineNoteRendering::sampleRate;

PreparedInstrument prepare(const Instrument& instrument, int index, int track, std::span<const ParameterLock> locks,
                           std::int64_t frame, std::int64_t durationFrames, const Project& project,
                           const PlaybackTimeline& timeline)
{
    return prepareNoteInstrument(instrument, index, track, locks, frame, durationFrames, project, timeline, rate);
}

// A note of a sliced sample beyond its last slice has nothing to play and is dropped, not an error.
bool fallsOnNoSlice(const Instrument& instrument, int note)
{
    if (!instrument.sampleEdit || !instrument.sampleEdit->slicePoints || instrument.sampleEdit->slicePoints->empty()) {
        return false;
    }
    return !sampleSliceBounds(*instrument.sampleEdit->slicePoints, static_cast<std::int64_t>(note) - 60);
}

ContinuousModulation continuousContext(const RenderEvent& event, const Instrument& baseInstrument,
                                       const Instrument& startInstrument)
{
    return ContinuousModulation{
        .instrumentIndex = event.instrument,
        .track = event.track,
        .startFrame = framesForSeconds(event.start, rate),
        .durationFrames = framesForSeconds(event.gateDuration, rate),
        .baseInstrument = baseInstrument,
        .startInstrument = startInstrument,
        .startPan = event.pan,
        .sampleRate = rate,
    };
}

} // namespace

RenderEventList OfflineNoteRendering::events(const Project& project)
{
    RenderEventList list;
    list.timeline = playbackTimeline(project, SongScope{}, 0, 0, rate, false);
    list.length = list.timeline.duration();

    NotePlanner planner(project);
    planner.plan(list.timeline, [&](const TimelineNoteEvent& note, const PlannedNote& strike) {
        const double gate = static_cast<double>(strike.gateFrames) / rate;
        list.events.push_back(RenderEvent{
            .start = static_cast<double>(strike.frame) / rate,
            .duration = strike.instrument->start.release + gate,
            .gateDuration = gate,
            .note = strike.note,
            .track = strike.track,
            .instrument = strike.instrumentIndex,
            .volume = strike.volume,
            .pan = strike.pan,
            .effects = note.effects,
            .slideFromNote = strike.slideFromNote,
            .locks = note.locks,
        });
    });
    std::stable_sort(list.events.begin(), list.events.end(),
                     [](const RenderEvent& a, const RenderEvent& b) { return a.start < b.start; });
    return list;
}

void OfflineNoteRendering::applyInstrumentLocks(std::span<const ParameterLock> locks, Instrument& instrument)
{
    veltrane::applyInstrumentLocks(locks, instrument);
}

std::shared_ptr<AudioBuffer> OfflineNoteRendering::synth(int note, Waveform waveform, const Instrument& instrument,
                                                         double duration, double volume, double pan,
                                                         const EffectParameters& effects,
                                                         std::optional<int> slideFromNote, double driveAmount,
                                                         double bitDepth, ContinuousModulator* modulation)
{
    const SynthNote synthNote{
        .note = note,
        .waveform = waveform,
        .gateSeconds = duration - instrument.release,
        .lengthSeconds = duration,
        .volume = volume,
        .pan = pan,
        .vibrato = effects.vibrato,
        .tremolo = effects.tremolo,
        .glideSemitones = slideFromNote ? static_cast<double>(*slideFromNote) - note : 0.0,
        .driveAmount = driveAmount,
        .bitDepth = bitDepth,
    };
    auto buffer = renderSynthNote(synthNote, instrument, rate, SynthReleaseStyle::fadeOverTail, modulation);
    // Only a note longer than a day would be refused; the song's 20-minute limit keeps every note far
    // below that, but the mixdown is still given a buffer rather than nothing.
    return buffer ? buffer : std::make_shared<AudioBuffer>(1, rate);
}

std::shared_ptr<const SampleBuffer> OfflineNoteRendering::loadSample(const Instrument& instrument)
{
    return SampleStore::loadEdited(instrument);
}

SampleBuffer OfflineNoteRendering::applySampleEdit(const SampleBuffer& sample, const SampleEdit& edit)
{
    return editSample(sample, edit);
}

std::shared_ptr<AudioBuffer> OfflineNoteRendering::pitchedSample(const SampleBuffer& sample, int note, double volume,
                                                                 double pan, const EffectParameters& effects,
                                                                 std::optional<int> slideFromNote, double gateDuration,
                                                                 const Instrument& instrument, double driveAmount,
                                                                 double bitDepth)
{
    const SampleNote sampleNote{
        .note = note,
        .gateSeconds = gateDuration,
        .gain = volume,
        .pan = pan,
        .vibrato = effects.vibrato,
        .tremolo = effects.tremolo,
        .glideSemitones = slideFromNote ? static_cast<double>(*slideFromNote) : 0.0,
        .driveAmount = driveAmount,
        .bitDepth = bitDepth,
    };
    auto buffer = renderSampleNote(sample, sampleNote, instrument, rate);
    if (!buffer) throw RenderError::conversionFailed();
    return buffer;
}

AudioBuffer& OfflineNoteRendering::applyContinuousModulation(AudioBuffer& buffer, const Project& project,
                                                             const RenderEvent& event,
                                                             const Instrument& baseInstrument,
                                                             const Instrument& startInstrument)
{
    veltrane::applyContinuousModulation(buffer, project, continuousContext(event, baseInstrument, startInstrument));
    return buffer;
}

std::shared_ptr<AudioBuffer> OfflineNoteRendering::spatialized(std::shared_ptr<AudioBuffer> buffer, double delayMix,
                                                               double reverbMix, double delayTime,
                                                               double delayFeedback)
{
    const std::int64_t tail = spatialTailFrames(rate, delayMix, delayTime, delayFeedback, reverbMix);
    if (tail < 1 || !buffer) return buffer;
    const std::int64_t frames = buffer->frameLength();
    auto lengthened = std::make_shared<AudioBuffer>(frames + tail, rate);
    StereoSpatialFX fx(rate, delayTime, delayFeedback);
    const float* inLeft = buffer->channel(0);
    const float* inRight = buffer->channel(1);
    float* outLeft = lengthened->channel(0);
    float* outRight = lengthened->channel(1);
    for (std::int64_t i = 0; i < frames + tail; ++i) {
        const bool input = i < frames;
        const StereoFrame out = fx.process(input ? inLeft[i] : 0.0, input ? inRight[i] : 0.0, delayMix, reverbMix);
        outLeft[i] = static_cast<float>(out.left);
        outRight[i] = static_cast<float>(out.right);
    }
    return lengthened;
}

AudioBufferRef OfflineNoteRendering::renderEvent(const RenderEvent& event, const Project& project,
                                                 const PlaybackTimeline& timeline, double delayTime,
                                                 double delayFeedback, const SampleProvider& samples,
                                                 RenderedNoteCache* cache)
{
    if (event.instrument < 0 || event.instrument >= static_cast<int>(project.instruments.size())) return nullptr;
    const std::int64_t startFrame = framesForSeconds(event.start, rate);
    const std::int64_t gateFrames = framesForSeconds(event.gateDuration, rate);
    const auto [base, start] = prepare(project.instruments[static_cast<std::size_t>(event.instrument)],
                                       event.instrument, event.track, event.locks, startFrame, gateFrames, project,
                                       timeline);
    const bool isSynth = std::holds_alternative<SynthSource>(start.source);
    const bool isSample =
        std::holds_alternative<SampleSource>(start.source) || std::holds_alternative<EmbeddedSource>(start.source);
    if (!isSynth && !isSample) return nullptr; // a hosted instrument, played by MIDI
    if (isSample && fallsOnNoSlice(start, event.note)) return nullptr;

    const bool continuous = needsContinuousModulation(event.track, event.instrument, project);
    // The key describes the note by its gate and its instrument's release; an event whose length was
    // reckoned with another release (automated between the note's start and this strike) is rendered
    // apart rather than matched to a buffer of a different length.
    const bool cacheable = cache && !continuous && !event.effects.vibrato && !event.effects.tremolo &&
                           !event.effects.slide && event.duration == start.release + event.gateDuration;
    const ScheduledBufferKey key = scheduledBufferKey(
        start, event.note, gateFrames, event.volume, event.pan,
        {.driveAmount = event.driveAmount, .bitDepth = event.bitDepth, .delayMix = event.delayMix, .reverbMix = event.reverbMix});
    if (cacheable) {
        if (auto cached = cache->find(key)) return cached;
    }

    // A filter that moves during the note is applied by the continuous pass; the voice renders open.
    const Instrument render =
        hasContinuousFilterModulation(event.track, event.instrument, project) ? withOpenFilter(start) : start;
    std::shared_ptr<AudioBuffer> buffer;
    if (isSynth) {
        // A synth note's continuous modulation runs inside its voice loop.
        std::optional<ContinuousModulation> context;
        std::optional<ContinuousModulator> modulator;
        if (continuous) modulator.emplace(project, context.emplace(continuousContext(event, base, start)));
        buffer = synth(event.note, render.synthWaveform(), render, event.duration, event.volume, event.pan,
                       event.effects, event.slideFromNote, event.driveAmount, event.bitDepth,
                       modulator ? &*modulator : nullptr);
    } else {
        const auto sample = samples ? samples(render) : nullptr;
        if (!sample) {
            const auto* file = std::get_if<SampleSource>(&render.source);
            throw RenderError::sampleMissing(file ? file->filename : std::get<EmbeddedSource>(render.source).filename);
        }
        const std::optional<int> slide =
            event.slideFromNote ? std::optional<int>(*event.slideFromNote - event.note) : std::nullopt;
        buffer = pitchedSample(*sample, event.note, render.volume * event.volume, event.pan, event.effects, slide,
                               std::max(event.duration - render.release, 0.001), render, event.driveAmount,
                               event.bitDepth);
    }

    if (continuous && !isSynth) applyContinuousModulation(*buffer, project, event, base, start);
    AudioBufferRef sound = spatialized(std::move(buffer), event.delayMix, event.reverbMix, delayTime, delayFeedback);
    if (cacheable) cache->store(key, sound);
    return sound;
}

} // namespace veltrane
