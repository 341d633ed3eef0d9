#pragma once

// What live playback plays: the strikes of the note plan (`NotePlanner`: chance, parameter locks,
// automation and modulation at a note's start, pan, slide and the retrigger, delay, arpeggio and chord
// columns), as
//
//   - `ScheduledSound`s for built-in synth and sample instruments: where a note sounds and everything
//     needed to render it, but not yet its audio. The engine renders each one when its time comes near
//     (`renderScheduledSound`), a moment ahead of the player, so a long song never holds every note's
//     audio at once; because rendering is a pure function of the sound, that gives the very samples that
//     rendering everything first would.
//   - `ScheduledMIDI` notes and `ScheduledMIDIControl` changes for instruments hosted as plug-ins.
//
// Frames are timeline frames of one cycle; the loop scheduler shifts them into each cycle. A long song
// is planned a window of its timeline at a time (`addScheduledSounds` with one planner per pass).
//
//     ScheduledSoundList list = makeScheduledSounds(timeline, project, samples, 48000);
//     AudioBufferRef audio = renderScheduledSound(list.sounds[0], project, 48000);
//
// Main thread (the sample store is read); the results are plain values.

#include "VeltranePlayback/NotePlan/NotePlan.hpp"
#include "VeltranePlayback/Voices/ContinuousModulation.hpp"
#include "VeltranePlayback/Voices/ScheduledBufferKey.hpp"
#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"
#include "VeltraneCore/SampleSlicing/SampleBuffer.hpp"
#include "VeltraneCore/Tracker/EffectParameters.hpp"
#include "VeltranePlatform/Audio/AudioBuffer.hpp"
#include "VeltranePlayback/Samples/SampleStore.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace veltrane {

/// One built-in note of a playback, ready to render.
struct ScheduledSound {
    std::int64_t frame = 0; // timeline frame of its first sample: start, delay, retrigger step, arpeggio
    int track = 0;
    int note = 0;                // 0 ... 127
    std::int64_t gateFrames = 0; // held frames; the release follows
    double volume = 1;           // cell volume / 64
    double pan = 0;              // the pan column, else the instrument's
    EffectParameters effects;    // vibrato and tremolo are rendered
    std::optional<int> slideFromNote;
    /// The instrument as rendered: at the note's start, with an open filter when the rack moves the
    /// filter during the note. Shared by the strikes of one event.
    std::shared_ptr<const Instrument> instrument;
    /// The loaded audio of a sample instrument, kept from the moment the playback was planned, so an
    /// edit during playback does not change notes already planned.
    std::shared_ptr<const SampleBuffer> sample;
    /// Whether identical notes (the same `bufferKey`) may share one buffer: false for notes whose sound
    /// depends on time or on a neighbour (vibrato, tremolo, slide, continuous modulation).
    bool shareable = false;
    /// Present when the rack moves volume, pan or filter while the note sounds.
    std::shared_ptr<const ContinuousModulation> continuous;
};

/// One note for a hosted instrument, with the values of control changes 7, 10, 74 and 71 sent with it.
struct ScheduledMIDI {
    std::int64_t frame = 0;
    std::int64_t durationFrames = 0; // note-off this long after the note-on
    int track = 0;
    Uuid instrumentID;
    std::uint8_t note = 0;
    std::uint8_t velocity = 1;
    std::uint8_t volume = 0;
    std::uint8_t pan = 64;
    std::uint8_t cutoff = 0;
    std::uint8_t resonance = 0;

    friend bool operator==(const ScheduledMIDI&, const ScheduledMIDI&) = default;
};

/// One control change for a hosted instrument while a route moves one of its continuous parameters.
struct ScheduledMIDIControl {
    std::int64_t frame = 0;
    int track = 0;
    Uuid instrumentID;
    std::uint8_t controller = 0; // 7, 10, 74 or 71
    std::uint8_t value = 0;

    friend bool operator==(const ScheduledMIDIControl&, const ScheduledMIDIControl&) = default;
};

struct ScheduledSoundList {
    std::vector<ScheduledSound> sounds; // by frame; sounds of one frame in the order they were made
    std::vector<ScheduledMIDI> midi;
    std::vector<ScheduledMIDIControl> controls;
};

/// The playback of `timeline`, whose notes render at `sampleRate` (the output rate, at which the timeline
/// was built). Events on a track outside 0 ... 31 or naming no instrument are dropped; a sample instrument
/// without loaded audio makes no sound.
ScheduledSoundList makeScheduledSounds(const PlaybackTimeline& timeline, const Project& project,
                                       const SampleStore& samples, double sampleRate);

/// How live playback plans: notes on the 32 strips only.
NotePlanOptions liveNotePlanOptions();

/// Appends the playback of `timeline` (a whole timeline or the next window of one, planned with
/// `planner`, made with `liveNotePlanOptions`) to `list`; the sounds added are sorted by frame among
/// themselves.
void addScheduledSounds(const PlaybackTimeline& timeline, const Project& project, const SampleStore& samples,
                        double sampleRate, NotePlanner& planner, ScheduledSoundList& list);

/// The key under which a shareable sound's buffer is shared; nothing for a sound that is not shareable.
/// Made when the sound is rendered rather than kept in the plan, which a long song holds for every note.
std::optional<ScheduledBufferKey> bufferKey(const ScheduledSound& sound);

/// The audio of one sound at `sampleRate`; null when it makes none. `project` is the project the sound
/// was planned from (its modulation rack moves continuous modulation).
AudioBufferRef renderScheduledSound(const ScheduledSound& sound, const Project& project, double sampleRate);

} // namespace veltrane
