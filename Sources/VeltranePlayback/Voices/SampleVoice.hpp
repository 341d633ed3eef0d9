#pragma once

// The pitched sample voice: one note of a sample instrument rendered from its loaded, edited audio into
// a stereo buffer of its own, following the note's playback plan (which stretch, transposition, loop and
// crossfade, how long). Linear interpolation between source frames; the ADSR envelope, vibrato, tremolo
// and glide as in the synth voice; then the equal-power pan, drive, bit reduction and the instrument's
// low-pass filter. A mono sample feeds both sides.
//
//     SampleNote note{.note = 72, .gateSeconds = 0.25, .gain = 0.85};
//     auto buffer = renderSampleNote(sample, note, instrument, 48000);   // an octave up
//
// Live playback and the export both render sample notes here, with no difference in the sound.
// Pure: the result depends only on the arguments. Allocates the buffer; not for the audio thread.

#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/SampleSlicing/SampleBuffer.hpp"
#include "VeltraneCore/Tracker/EffectParameters.hpp"
#include "VeltranePlatform/Audio/AudioBuffer.hpp"

#include <memory>
#include <optional>

namespace veltrane {

struct SampleNote {
    int note = 60;                            // 60 plays the sample at its recorded pitch (or its first slice)
    double gateSeconds = 0;                   // until the release starts; also the glide's length
    double gain = 1;                          // instrument volume × note volume
    double pan = 0;                           // -1 (left) to 1 (right)
    std::optional<EffectOscillation> vibrato; // depth in cents
    std::optional<EffectOscillation> tremolo; // depth as a fraction of the level
    double glideSemitones = 0;                // the pitch starts this far from the note and reaches it at the gate
    double driveAmount = 0;
    double bitDepth = 16;
};

/// The note rendered at `sampleRate`. Null when it makes no sound by its plan: a sample of fewer than two
/// frames or without channels, a rate that is not positive, a gate that is not a number, a note on no
/// slice. A note whose stretch runs out before its planned length ends there: its buffer's frame length
/// is the frames actually rendered (possibly 0), never padded with silence.
std::shared_ptr<AudioBuffer> renderSampleNote(const SampleBuffer& source, const SampleNote& note,
                                              const Instrument& instrument, double sampleRate);

} // namespace veltrane
