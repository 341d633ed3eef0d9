#pragma once

// The export's notes. A project's song becomes a flat, time-sorted list of `RenderEvent`s, and every note
// of a built-in synth or sample instrument becomes a stereo buffer of its own, which the mixdown schedules
// on a voice of the note's track. Notes of hosted instruments are listed too but played by MIDI in the
// mixdown, not rendered here.
//
//     auto list = OfflineNoteRendering::events(project);             // events, song length, timeline
//     auto buffer = OfflineNoteRendering::renderEvent(event, project, list.timeline, delayTime, feedback,
//                                                     samples, &cache);
//
// Everything here works at the fixed export rate of 44,100 frames per second, whatever a sample's own
// rate. The voices are the live engine's (`SynthVoice`, `SampleVoice`); the export differs only where a
// comment says so. Every operation is pure: the same event of the same project gives the same buffer,
// so the mixdown may render each note just before its block needs it and still write the same file as
// rendering them all first. Any thread; allocates.

#include "VeltranePlayback/OfflineRender/RenderError.hpp"
#include "VeltranePlayback/Voices/RenderedNoteCache.hpp"
#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/Models/ParameterLock.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"
#include "VeltraneCore/SampleSlicing/SampleBuffer.hpp"
#include "VeltraneCore/Tracker/EffectParameters.hpp"
#include "VeltranePlatform/Audio/AudioBuffer.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace veltrane {

class ContinuousModulator;

/// One note of the export's note list.
struct RenderEvent {
    double start = 0;        // seconds from the song's start: the start frame / 44,100
    double duration = 0;     // seconds: the prepared instrument's release + `gateDuration`
    double gateDuration = 0; // seconds held: the held frames / 44,100
    int note = 0;            // MIDI pitch, 0 to 127
    int track = 0;           // pattern channel and mixer track
    int instrument = 0;      // index into the project's instruments
    double volume = 1;       // the cell volume / 64 (1 without one)
    double pan = 0;          // the note's pan column, else the prepared instrument's pan; -1 to 1
    EffectParameters effects;
    std::optional<int> slideFromNote; // with a slide: the last kept pitch on the track, if any
    std::vector<ParameterLock> locks;
    // The per-note drive, bit reduction and sends. Every event carries these neutral values, so the
    // stages leave every note unchanged: a mix's drive, bit reduction, delay and reverb are applied once,
    // on the master chain.
    double driveAmount = 0;
    double bitDepth = 16;
    double delayMix = 0;
    double reverbMix = 0;

    friend bool operator==(const RenderEvent&, const RenderEvent&) = default;
};

/// The export's note list.
struct RenderEventList {
    std::vector<RenderEvent> events; // by `start`, notes of equal start in the order they were made
    double length = 0;               // the song's length in seconds
    PlaybackTimeline timeline;       // the song at 44,100 Hz, for the mixdown's bus automation
};

struct OfflineNoteRendering {
    static constexpr double sampleRate = 44100;

    /// The song (from its first block, not looping) as a note list: each kept note with its chance,
    /// locks, automation and modulation at its start, retrigger, delay, arpeggio and chord applied.
    static RenderEventList events(const Project& project);

    /// A cell's locks written into `instrument` (see `InstrumentLocks.hpp`).
    static void applyInstrumentLocks(std::span<const ParameterLock> locks, Instrument& instrument);

    /// One synth note lasting `duration` seconds (gate plus release) at 44,100 Hz. `slideFromNote` is the
    /// pitch to glide from over the gate. A `modulation` made for the note runs inside the voice's loop.
    static std::shared_ptr<AudioBuffer> synth(int note, Waveform waveform, const Instrument& instrument, double duration,
                                              double volume, double pan, const EffectParameters& effects,
                                              std::optional<int> slideFromNote, double driveAmount, double bitDepth,
                                              ContinuousModulator* modulation = nullptr);

    /// The instrument's sample, decoded and with its edit applied (the neutral edit when it has none);
    /// null when it has no sample source or its audio cannot be found or decoded. Embedded bytes are
    /// decoded from memory: nothing is written to a temporary folder.
    static std::shared_ptr<const SampleBuffer> loadSample(const Instrument& instrument);

    /// Trim, reverse, normalize and fades (the edit's loop and slice points are for the playback plan).
    static SampleBuffer applySampleEdit(const SampleBuffer& sample, const SampleEdit& edit);

    /// One sample note at 44,100 Hz. `volume` already includes the instrument's volume; `slideFromNote`
    /// is here the distance in semitones (the previous pitch minus this note). Throws
    /// `RenderError::conversionFailed()` when the sample cannot play the note (too short, no channels,
    /// a note on no slice, a gate that is not a number).
    static std::shared_ptr<AudioBuffer> pitchedSample(const SampleBuffer& sample, int note, double volume, double pan,
                                                      const EffectParameters& effects,
                                                      std::optional<int> slideFromNote, double gateDuration,
                                                      const Instrument& instrument, double driveAmount,
                                                      double bitDepth);

    /// Volume, pan and filter of a rendered note following the modulation rack over its length. The
    /// buffer was rendered with `startInstrument` (modulated at the note's start); `baseInstrument` is
    /// the instrument under locks and automation, to which modulation is added.
    static AudioBuffer& applyContinuousModulation(AudioBuffer& buffer, const Project& project, const RenderEvent& event,
                                                  const Instrument& baseInstrument, const Instrument& startInstrument);

    /// The buffer with a per-note delay and reverb send, lengthened by their tail; the very buffer given
    /// when there is no tail (no sends).
    static std::shared_ptr<AudioBuffer> spatialized(std::shared_ptr<AudioBuffer> buffer, double delayMix,
                                                    double reverbMix, double delayTime, double delayFeedback);

    /// Where the mixdown gets a sample instrument's loaded audio: usually `loadSample` behind a cache by
    /// instrument identifier. Null for audio that cannot be loaded.
    using SampleProvider = std::function<std::shared_ptr<const SampleBuffer>(const Instrument&)>;

    /// The finished sound of one event, as the mixdown schedules it: the instrument prepared at the
    /// event's own start (locks, automation, modulation), the voice, continuous modulation, and the
    /// per-note sends with the master delay's `delayTime` and `delayFeedback`. Null when the event makes no
    /// sound of its own (a hosted instrument, a sliced note beyond the last slice). Throws
    /// `RenderError::sampleMissing` when a sample instrument's audio cannot be loaded, and what
    /// `pitchedSample` throws.
    ///
    /// With a `cache` (one per render: its keys assume one delay time and feedback), identical notes
    /// share one buffer, as in live playback; notes with vibrato, tremolo, a slide or continuous
    /// modulation are rendered each time. The sound is the same with or without it.
    static AudioBufferRef renderEvent(const RenderEvent& event, const Project& project, const PlaybackTimeline& timeline,
                                      double delayTime, double delayFeedback, const SampleProvider& samples,
                                      RenderedNoteCache* cache = nullptr);
};

} // namespace veltrane
