#include "VeltranePlayback/NotePlan/ScheduledSounds.hpp"

#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "VeltranePlayback/NotePlan/HostedNoteMIDI.hpp"
#include "VeltranePlayback/Voices/LiveNoteRendering.hpp"
#include "VeltranePlayback/Voices/NoteFilterDefaults.hpp"
#include "VeltraneCore/Modulation/ModulationRouting.hpp"
#include "VeltraneCore/Modulation/NoteEvaluation.hpp"
#include "VeltraneCore/Timing/FrameTime.hpp"

#include <algorithm>
#include <array>
#include <variant>

namespace veltrane {

namespace {

void addHostedStrike(const PlannedNote& strike, const Instrument& start, const Project& project, double sampleRate,
                     ScheduledSoundList& list)
{
    const HostedNoteStart values = hostedNoteStart(strike.note, strike.volume, strike.pan, start);
    list.midi.push_back(ScheduledMIDI{
        .frame = strike.frame,
        .durationFrames = strike.gateFrames,
        .track = strike.track,
        .instrumentID = start.id,
        .note = values.note,
        .velocity = values.velocity,
        .volume = values.volume,
        .pan = values.pan,
        .cutoff = values.cutoff,
        .resonance = values.resonance,
    });
    hostedControlChanges(strike.frame, strike.gateFrames, strike.track, strike.instrumentIndex,
                         strike.instrument->base, project, sampleRate,
                         [&](std::int64_t frame, std::uint8_t controller, std::uint8_t value) {
                             list.controls.push_back(ScheduledMIDIControl{
                                 .frame = frame,
                                 .track = strike.track,
                                 .instrumentID = start.id,
                                 .controller = controller,
                                 .value = value,
                             });
                         });
}

} // namespace

NotePlanOptions liveNotePlanOptions()
{
    return NotePlanOptions{.trackCount = AudioEngine::trackCount};
}

void addScheduledSounds(const PlaybackTimeline& timeline, const Project& project, const SampleStore& samples,
                        double sampleRate, NotePlanner& planner, ScheduledSoundList& list)
{
    // What the strikes of the note being planned share, made once per note.
    const TimelineNoteEvent* current = nullptr;
    std::shared_ptr<const SampleBuffer> sample;
    bool silent = false;
    bool continuous = false;
    bool cacheable = false;
    // Notes whose locks, lanes and routes leave the instrument as the last note of it had it share one
    // rendered copy, so the plan of a long song holds few instruments rather than one per note.
    std::vector<std::shared_ptr<const Instrument>> renderedInstruments(project.instruments.size());
    std::shared_ptr<const Instrument> rendered;

    const std::size_t firstNew = list.sounds.size();
    planner.plan(timeline, [&](const TimelineNoteEvent& event, const PlannedNote& strike) {
        const Instrument& start = strike.instrument->start;
        if (std::holds_alternative<AudioUnitSource>(start.source)) {
            addHostedStrike(strike, start, project, sampleRate, list);
            return;
        }
        if (current != &event) {
            current = &event;
            sample = nullptr;
            silent = false;
            if (!std::holds_alternative<SynthSource>(start.source)) {
                sample = samples.sample(start.id);
                // A sample that is missing leaves this note silent; the other notes play.
                silent = !sample;
            }
            if (silent) return;
            continuous = needsContinuousModulation(event.track, event.instrument, project);
            cacheable = !continuous && !event.effects.vibrato && !event.effects.tremolo && !event.effects.slide;
            // A note whose filter moves is rendered open and filtered by the continuous pass.
            Instrument renderedInstrument =
                hasContinuousFilterModulation(event.track, event.instrument, project) ? withOpenFilter(start) : start;
            auto& lastRendered = renderedInstruments[static_cast<std::size_t>(event.instrument)];
            if (!lastRendered || *lastRendered != renderedInstrument) {
                lastRendered = std::make_shared<const Instrument>(std::move(renderedInstrument));
            }
            rendered = lastRendered;
        }
        if (silent) return;

        ScheduledSound sound{
            .frame = strike.frame,
            .track = strike.track,
            .note = strike.note,
            .gateFrames = strike.gateFrames,
            .volume = strike.volume,
            .pan = strike.pan,
            .effects = event.effects,
            .slideFromNote = strike.slideFromNote,
            .instrument = rendered,
            .sample = sample,
        };
        sound.shareable = cacheable;
        if (continuous) {
            sound.continuous = std::make_shared<const ContinuousModulation>(ContinuousModulation{
                .instrumentIndex = strike.instrumentIndex,
                .track = strike.track,
                .startFrame = strike.frame,
                .durationFrames = strike.gateFrames,
                .baseInstrument = strike.instrument->base,
                .startInstrument = start,
                .startPan = strike.pan,
                .sampleRate = sampleRate,
            });
        }
        list.sounds.push_back(std::move(sound));
    });

    std::stable_sort(list.sounds.begin() + static_cast<std::ptrdiff_t>(firstNew), list.sounds.end(),
                     [](const ScheduledSound& a, const ScheduledSound& b) { return a.frame < b.frame; });
}

ScheduledSoundList makeScheduledSounds(const PlaybackTimeline& timeline, const Project& project,
                                       const SampleStore& samples, double sampleRate)
{
    ScheduledSoundList list;
    NotePlanner planner(project, liveNotePlanOptions());
    addScheduledSounds(timeline, project, samples, sampleRate, planner, list);
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
    if (!sound.sample) {
        // A synth note's continuous modulation runs inside its voice loop.
        std::optional<ContinuousModulator> modulator;
        if (sound.continuous) modulator.emplace(project, *sound.continuous);
        return renderedSynth(sound.note, sound.instrument->synthWaveform(), gate, *sound.instrument, sound.volume,
                             sound.pan, sound.effects, sound.slideFromNote, 0, 16, sampleRate,
                             modulator ? &*modulator : nullptr);
    }
    std::shared_ptr<AudioBuffer> buffer = renderedSample(*sound.sample, sound.note, gate, *sound.instrument, sound.volume,
                                                         sound.pan, sound.effects, sound.slideFromNote, 0, 16, sampleRate);
    if (buffer && sound.continuous) applyContinuousModulation(*buffer, project, *sound.continuous);
    return buffer;
}

} // namespace veltrane
