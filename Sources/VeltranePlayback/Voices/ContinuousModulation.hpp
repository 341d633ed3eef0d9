#pragma once

// Modulation that moves while a note sounds. A built-in note is rendered with its instrument as
// modulated at the note's start; for the four parameters whose modulation runs continuously (volume,
// pan, cutoff, resonance) this pass then re-processes the rendered buffer frame by frame. Volume and pan
// are corrected relative to what the buffer was rendered with; the filter is applied on top (a note
// whose filter is modulated is rendered open, see `withOpenFilter`).
//
//     applyContinuousModulation(*buffer, project, {.instrumentIndex = 2, .track = 0, ...});
//
// Live playback and the export use this one pass; they differ only in the sample rate and in where the
// note's start frame comes from, both given in the context. Pure over its inputs; allocates nothing.

#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltranePlatform/Audio/AudioBuffer.hpp"

#include <cstdint>

namespace veltrane {

/// The context of one rendered note. The audio engine names it `AudioEngine::ContinuousModulation`.
struct ContinuousModulation {
    int instrumentIndex = 0;
    int track = 0;
    std::int64_t startFrame = 0;     // timeline frame of the note's first sample
    std::int64_t durationFrames = 1; // the note's gate in frames: the length envelope sources see
    Instrument baseInstrument;       // after the note's locks and automation, before modulation
    Instrument startInstrument;      // modulated at the note's start: what the buffer was rendered with
    double startPan = 0;             // the pan the buffer was rendered with
    double sampleRate = 44100;       // the buffer's rate and the timeline's
};

/// True when the rack moves the note's volume, pan, cutoff or resonance while it sounds: such a note
/// needs `applyContinuousModulation` and is never shared through the rendered-note cache.
bool needsContinuousModulation(int track, int instrumentIndex, const Project& project);

/// True when the rack moves the note's cutoff or resonance: the note is rendered with an open filter.
bool hasContinuousFilterModulation(int track, int instrumentIndex, const Project& project);

/// Re-processes `buffer` in place so that volume, pan and filter follow the rack over the note.
/// Parameters without a route are left as rendered; without any route the buffer is unchanged.
void applyContinuousModulation(AudioBuffer& buffer, const Project& project, const ContinuousModulation& context);

} // namespace veltrane
