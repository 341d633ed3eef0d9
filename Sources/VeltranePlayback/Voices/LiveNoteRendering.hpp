#pragma once

// The audio engine's note renderers: every note of the built-in synthesizer and of sample instruments,
// live or auditioned, becomes one stereo buffer at the engine's output rate, which a voice's player then
// plays. The engine calls these from its scheduling pass (a block or a loop cycle ahead of playback) and
// from audition; identical notes share a buffer through `RenderedNoteCache`.
//
//     auto buffer = renderedSynth(69, Waveform::sine, 0.5, instrument, 1.0, 0.0, effects, std::nullopt,
//                                 0, 16, outputRate);
//
// Only `vibrato` and `tremolo` of `effects` are read: the scheduler has already applied the columns that
// place and repeat notes. `slideFromNote` is the pitch to glide from, over the gate. Main thread or a
// worker; pure, no state between calls.

#include "VeltranePlayback/NotePlan/NotePreparation.hpp"
#include "VeltranePlayback/Voices/RenderedNoteCache.hpp"
#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/SampleSlicing/SampleBuffer.hpp"
#include "VeltraneCore/Tracker/EffectParameters.hpp"
#include "VeltranePlatform/Audio/AudioBuffer.hpp"

#include <cstdint>
#include <memory>
#include <optional>

namespace veltrane {

class ContinuousModulator;

/// One synth note: `gateDuration` seconds held, then the instrument's release (at least 5 ms), at
/// `sampleRate` frames per second. `waveform` plays when the instrument has no FM settings. Null only
/// when no buffer can be made (a sample rate that is not positive, a note over 2^32 frames). A
/// `modulation` made for the note runs inside the voice's loop.
std::shared_ptr<AudioBuffer> renderedSynth(int note, Waveform waveform, double gateDuration, const Instrument& instrument,
                                           double volume, double pan, const EffectParameters& effects,
                                           std::optional<int> slideFromNote, double driveAmount, double bitDepth,
                                           double sampleRate, ContinuousModulator* modulation = nullptr);

/// One note of a sample instrument from its loaded, edited audio `source`. Null when the note makes no
/// sound: no plan for it (too short a sample, a note on no slice) or a stretch with no frame to play.
std::shared_ptr<AudioBuffer> renderedSample(const SampleBuffer& source, int note, double gateDuration,
                                            const Instrument& instrument, double volume, double pan,
                                            const EffectParameters& effects, std::optional<int> slideFromNote,
                                            double driveAmount, double bitDepth, double sampleRate);

/// One strike of a timeline note as live playback renders it (after chance, retrigger, delay, arpeggio
/// and chord have placed it, see `noteStrikes`).
struct LiveNote {
    int instrumentIndex = 0;
    int track = 0;
    int note = 60;                    // the strike's pitch, 0 to 127
    std::int64_t frame = 0;           // timeline frame of its first sample
    std::int64_t lengthFrames = 1;    // its gate
    double volume = 1;                // the cell volume / 64
    double pan = 0;                   // the pan column, else the start instrument's pan; -1 to 1
    EffectParameters effects;         // vibrato, tremolo and slide are read
    std::optional<int> slideFromNote; // the track's previous pitch, given only when the note slides
    PreparedInstrument instrument;    // see `prepareNoteInstrument`
    double sampleRate = 48000;        // the output rate, which the timeline was built at
};

/// The finished sound of a synth or sample note: rendered with neutral drive, bit depth and sends,
/// continuous modulation applied where the rack moves the note's volume, pan or filter. A note that
/// neither wobbles (vibrato, tremolo) nor slides nor is modulated continuously is shared through `cache`
/// with every identical note (null `cache`: rendered afresh). `sample` is the instrument's loaded audio
/// for a sample instrument. Null when the note makes no sound: a hosted instrument, a sample that is not
/// loaded, a note its sample cannot play.
AudioBufferRef renderNote(const LiveNote& note, const Project& project, const SampleBuffer* sample,
                          RenderedNoteCache* cache);

} // namespace veltrane
