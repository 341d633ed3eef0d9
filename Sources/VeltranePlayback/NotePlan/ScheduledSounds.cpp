#include "VeltranePlayback/NotePlan/ScheduledSounds.hpp"

#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "VeltranePlayback/NotePlan/InstrumentLocks.hpp"
#include "VeltranePlayback/Voices/LiveNoteRendering.hpp"
#include "VeltranePlayback/NotePlan/NoteChance.hpp"
#include "VeltranePlayback/Voices/NoteFilterDefaults.hpp"
#include "VeltranePlayback/NotePlan/NoteStrikes.hpp"
#include "VeltraneCore/Modulation/ModulationRouting.hpp"
#include "VeltraneCore/Modulation/NoteEvaluation.hpp"
#include "VeltraneCore/Timing/FrameTime.hpp"

#include <algorithm>
#include <array>
#include <variant>

namespace veltrane {

namespace {

// Hosted instruments hear their continuous parameters as these controllers: volume, pan, cutoff,
// resonance.
struct ContinuousTarget {
    ParameterTarget target;
    std::uint8_t controller;
};
constexpr std::array<ContinuousTarget, 4> continuousTargets{{
    {ParameterTarget::instrumentVolume, 7},
    {ParameterTarget::instrumentPan, 10},
    {ParameterTarget::instrumentCutoff, 74},
    {ParameterTarget::instrumentResonance, 71},
}};

// Control changes follow a moving route 24 times per beat.
constexpr double controlStepsPerBeat = 24;

std::uint8_t midiValue(double value, int lowest = 0)
{
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(roundHalfAwayFromZero(value), lowest, 127));
}

double continuousValue(ParameterTarget target, const Instrument& instrument)
{
    switch (target) {
    case ParameterTarget::instrumentVolume: return instrument.volume;
    case ParameterTarget::instrumentPan: return instrument.pan;
    case ParameterTarget::instrumentCutoff: return noteCutoff(instrument);
    default: return noteResonance(instrument);
    }
}

struct EventContext {
    const TimelineNoteEvent& event;
    const Instrument& base;  // locks and automation
    const Instrument& start; // and modulation at the note's start
    double pan;
};

void addHostedStrike(const EventContext& context, const NoteStrike& strike, const Project& project, double sampleRate,
                     ScheduledSoundList& list)
{
    const TimelineNoteEvent& event = context.event;
    list.midi.push_back(ScheduledMIDI{
        .frame = strike.frame,
        .durationFrames = strike.lengthFrames,
        .track = event.track,
        .instrumentID = context.start.id,
        .note = midiValue(context.start.tune + strike.note),
        .velocity = midiValue(event.volume * 127, 1),
        .volume = midiValue(context.start.volume * 127),
        .pan = midiValue((context.pan + 1) * 63.5),
        .cutoff = midiValue(normalized(ParameterTarget::instrumentCutoff, noteCutoff(context.start)) * 127),
        .resonance = midiValue(normalized(ParameterTarget::instrumentResonance, noteResonance(context.start)) * 127),
    });

    std::vector<ContinuousTarget> moving;
    for (const auto& continuous : continuousTargets) {
        if (hasModulation(continuous.target, event.track, event.instrument, project)) moving.push_back(continuous);
    }
    if (moving.empty()) return;
    const std::int64_t interval = std::max<std::int64_t>(
        roundHalfAwayFromZero(sampleRate * 60 / project.bpm / controlStepsPerBeat), 1);
    for (std::int64_t offset = 0; offset <= strike.lengthFrames; offset += interval) {
        const std::int64_t frame = strike.frame + offset;
        for (const auto& continuous : moving) {
            const double value = modulatedValue(continuous.target, continuousValue(continuous.target, context.base), frame,
                                                strike.frame, strike.lengthFrames, event.track, event.instrument, project,
                                                sampleRate);
            list.controls.push_back(ScheduledMIDIControl{
                .frame = frame,
                .track = event.track,
                .instrumentID = context.start.id,
                .controller = continuous.controller,
                .value = midiValue(normalized(continuous.target, value) * 127),
            });
        }
    }
}

} // namespace

ScheduledSoundList makeScheduledSounds(const PlaybackTimeline& timeline, const Project& project,
                                       const SampleStore& samples, double sampleRate)
{
    ScheduledSoundList list;
    std::array<std::optional<int>, AudioEngine::trackCount> slideMemory{};
    std::vector<std::shared_ptr<const Instrument>> renderedInstruments(project.instruments.size());

    for (const TimelineNoteEvent& event : timeline.notes) {
        if (event.instrument < 0 || event.instrument >= static_cast<int>(project.instruments.size())) continue;
        if (event.track < 0 || event.track >= AudioEngine::trackCount) continue;
        if (!noteSurvivesChance(event.startFrame, event.track, event.effects.chance)) continue;

        Instrument locked = project.instruments[static_cast<std::size_t>(event.instrument)];
        applyInstrumentLocks(event.locks, locked);
        const Instrument base = instrumentWithAutomation(locked, event.instrument, event.track, event.startFrame, timeline);
        const Instrument start = instrumentWithModulation(base, event.instrument, event.track, event.startFrame,
                                                          event.startFrame, event.durationFrames, project,
                                                          timeline.sampleRate);
        const EventContext context{event, base, start, std::clamp(event.effects.pan.value_or(start.pan), -1.0, 1.0)};
        const auto strikes = noteStrikes(event, noteRowFrames(timeline, event));
        auto& slideFrom = slideMemory[static_cast<std::size_t>(event.track)];

        if (std::holds_alternative<AudioUnitSource>(start.source)) {
            for (const NoteStrike& strike : strikes) addHostedStrike(context, strike, project, sampleRate, list);
            slideFrom = event.note;
            continue;
        }

        std::shared_ptr<const SampleBuffer> sample;
        if (!std::holds_alternative<SynthSource>(start.source)) {
            sample = samples.sample(start.id);
            if (!sample) {
                // A sample that is missing leaves this note silent; the other notes play.
                slideFrom = event.note;
                continue;
            }
        }
        const bool continuous = needsContinuousModulation(event.track, event.instrument, project);
        const bool cacheable = !continuous && !event.effects.vibrato && !event.effects.tremolo && !event.effects.slide;
        // A note whose filter moves is rendered open and filtered by the continuous pass.
        Instrument renderedInstrument =
            hasContinuousFilterModulation(event.track, event.instrument, project) ? withOpenFilter(start) : start;
        // Notes whose locks, lanes and routes leave the instrument as the last note of it had it share one
        // copy, so the plan of a long song holds few instruments rather than one per note.
        auto& lastRendered = renderedInstruments[static_cast<std::size_t>(event.instrument)];
        if (!lastRendered || *lastRendered != renderedInstrument) {
            lastRendered = std::make_shared<const Instrument>(std::move(renderedInstrument));
        }
        const auto& rendered = lastRendered;
        const std::optional<int> glideFrom = event.effects.slide ? slideFrom : std::nullopt;

        for (const NoteStrike& strike : strikes) {
            ScheduledSound sound{
                .frame = strike.frame,
                .track = event.track,
                .note = strike.note,
                .gateFrames = strike.lengthFrames,
                .volume = event.volume,
                .pan = context.pan,
                .effects = event.effects,
                .slideFromNote = glideFrom,
                .instrument = rendered,
                .sample = sample,
            };
            sound.shareable = cacheable;
            if (continuous) {
                sound.continuous = std::make_shared<const ContinuousModulation>(ContinuousModulation{
                    .instrumentIndex = event.instrument,
                    .track = event.track,
                    .startFrame = strike.frame,
                    .durationFrames = strike.lengthFrames,
                    .baseInstrument = base,
                    .startInstrument = start,
                    .startPan = context.pan,
                    .sampleRate = sampleRate,
                });
            }
            list.sounds.push_back(std::move(sound));
        }
        slideFrom = event.note;
    }

    std::stable_sort(list.sounds.begin(), list.sounds.end(),
                     [](const ScheduledSound& a, const ScheduledSound& b) { return a.frame < b.frame; });
    return list;
}

std::optional<ScheduledBufferKey> bufferKey(const ScheduledSound& sound)
{
    // A shareable note has no continuous modulation, so the instrument it renders with is its instrument
    // at the note's start, from which the key is made.
    if (!sound.shareable || !sound.instrument) return std::nullopt;
    return scheduledBufferKey(*sound.instrument, sound.note, sound.gateFrames, sound.volume, sound.pan);
}

AudioBufferRef renderScheduledSound(const ScheduledSound& sound, const Project& project, double sampleRate)
{
    if (!sound.instrument) return nullptr;
    const double gate = static_cast<double>(sound.gateFrames) / sampleRate;
    std::shared_ptr<AudioBuffer> buffer =
        sound.sample ? renderedSample(*sound.sample, sound.note, gate, *sound.instrument, sound.volume, sound.pan,
                                      sound.effects, sound.slideFromNote, 0, 16, sampleRate)
                     : renderedSynth(sound.note, sound.instrument->synthWaveform(), gate, *sound.instrument,
                                     sound.volume, sound.pan, sound.effects, sound.slideFromNote, 0, 16, sampleRate);
    if (buffer && sound.continuous) applyContinuousModulation(*buffer, project, *sound.continuous);
    return buffer;
}

} // namespace veltrane
