#pragma once

// The built-in synthesizer voice: one note rendered into a stereo buffer of its own, ahead of playback.
// One oscillator of four waveforms or two operators in FM, the ADSR envelope, vibrato, tremolo and a
// glide in from another pitch, the equal-power pan, drive and bit reduction, then the instrument's
// low-pass filter. Frames are computed in double precision and stored as 32-bit floats.
//
// Live playback and the export render every synth note here. They differ only in how a note ends
// (`SynthReleaseStyle`); everything else is the same code.
//
//     SynthNote note{.note = 69, .gateSeconds = 0.5, .volume = 1};
//     auto buffer = renderSynthNote(note, instrument, 48000, SynthReleaseStyle::fromGateLevel);
//
// Pure: the result depends only on the arguments, so a note can be rendered whenever it is needed and
// sounds the same every time. Allocates the buffer; not for the audio thread.

#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/Tracker/EffectParameters.hpp"
#include "VeltranePlatform/Audio/AudioBuffer.hpp"

#include <cstdint>
#include <memory>
#include <optional>

namespace veltrane {

class ContinuousModulator;

/// How a synth note's buffer ends after its gate.
enum class SynthReleaseStyle {
    /// Live playback and audition. The buffer holds the gate and the release (at least 5 ms), rounded to
    /// the nearest frame; at the gate the envelope holds the level it reached and falls from it to 0 over
    /// the release (`envelopeLevel`). A note cut during its attack fades from where it got to.
    fromGateLevel,
    /// The export. The buffer holds `lengthSeconds` (gate plus release) truncated to whole frames; the
    /// attack, decay and sustain run on past the gate under a linear fade over the last release seconds,
    /// and a release of 0 ends the note on the buffer's last frame. Exported mixes keep this ending so an
    /// export of an existing project does not change its sound; the two styles differ only for notes cut
    /// before their decay is over and for releases under 5 ms.
    fadeOverTail,
};

struct SynthNote {
    int note = 60;                         // MIDI pitch
    Waveform waveform = Waveform::sine;    // the oscillator when the instrument has no FM settings
    double gateSeconds = 0;                // until the release starts; also the glide's length
    double lengthSeconds = 0;              // gate plus release; read by `fadeOverTail` only
    double volume = 1;                     // linear gain (a cell volume v gives v / 64)
    double pan = 0;                        // -1 (left) to 1 (right)
    std::optional<EffectOscillation> vibrato; // depth in cents
    std::optional<EffectOscillation> tremolo; // depth as a fraction of the level
    double glideSemitones = 0;             // the pitch starts this far from the note and reaches it at the gate
    double driveAmount = 0;                // 0 to 1
    double bitDepth = 16;                  // bits; 15.9 and above leave the sound untouched
};

/// The longest note either path renders: an unsigned 32-bit frame count, over a day at 48 kHz.
inline constexpr std::int64_t maximumNoteFrames = 0xFFFFFFFFLL;

/// The frame count of `note` (at least 1). A length that is not a finite number gives 1 frame; a longer
/// one than `maximumNoteFrames` gives `maximumNoteFrames + 1`, which the renderer refuses.
std::int64_t synthNoteFrames(const SynthNote& note, const Instrument& instrument, double sampleRate,
                             SynthReleaseStyle style);

/// Renders the first `frames` frames of `note` into `left` and `right`. A `modulation` (made for this
/// note, not yet run) moves volume, pan and filter over the note inside the voice's own loop, as
/// `applyContinuousModulation` would afterwards but without the frames' rounding to float in between.
void renderSynthFrames(const SynthNote& note, const Instrument& instrument, double sampleRate,
                       SynthReleaseStyle style, float* left, float* right, std::int64_t frames,
                       ContinuousModulator* modulation = nullptr);

/// The whole note in a new buffer at `sampleRate`. Null when the sample rate is not a positive number or
/// the note is longer than `maximumNoteFrames`.
std::shared_ptr<AudioBuffer> renderSynthNote(const SynthNote& note, const Instrument& instrument, double sampleRate,
                                             SynthReleaseStyle style, ContinuousModulator* modulation = nullptr);

} // namespace veltrane
