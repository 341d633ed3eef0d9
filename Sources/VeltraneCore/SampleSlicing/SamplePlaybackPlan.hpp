#pragma once

// How one note of a sample instrument plays: which stretch of the sample, at which transposition,
// whether and where it loops with which crossfade, and how many output frames the rendered note has.
// The live and the offline renderers both render from this plan.
//
// The sample the plan speaks of is the edited one: the renderer plays the buffer that trim and reverse
// have already made (`editSample`), and passes that buffer's frame count as `sourceFrameCount`. Slice
// points and loop points are therefore fractions of the trimmed, possibly reversed buffer, not of the
// file on disk.
//
//     samplePlaybackPlan(44100, 44100, 48000, 72, instrument, 0.25)
//         // the whole sample an octave up, 16,800 frames (gate 0.25 s plus release 0.1 s)
//
// MIDI note 60 plays the sample at its recorded pitch; with slice points it selects the first slice and
// each note above picks the next slice, every slice at the instrument's own tune. Pure functions.

#include "VeltraneCore/Models/Instrument.hpp"

#include <cstdint>
#include <optional>

namespace veltrane {

struct SamplePlaybackPlan {
    double sourceStartFrame = 0;   // first source frame of the played stretch
    double sourceEndFrame = 0;     // end of the stretch, exclusive
    double effectiveSemitones = 0; // transposition; the playback rate is 2^(semitones / 12)
    bool shouldLoop = false;
    double loopStartFrame = 0;
    double loopEndFrame = 0;
    double crossfadeSourceFrames = 0; // length of the crossfade at the loop seam
    std::int64_t outputFrames = 1;    // length of the rendered note, at least one frame

    friend bool operator==(const SamplePlaybackPlan&, const SamplePlaybackPlan&) = default;
};

/// The plan for `note` sounding `gateSeconds` (before the release). Nothing when the sample has fewer
/// than two frames, a rate is not a positive number, the gate or the tune is not a finite number, or the
/// note falls on no slice: such a note is silent.
std::optional<SamplePlaybackPlan> samplePlaybackPlan(std::int64_t sourceFrameCount, double sourceSampleRate,
                                                     double outputSampleRate, int note,
                                                     const Instrument& instrument, double gateSeconds);

/// A linear crossfade across the loop seam, from the loop's tail (`progress` 0) to its head (1).
/// `progress` is held to 0 to 1; NaN counts as 0.
float loopCrossfadeMix(float tail, float head, double progress);

} // namespace veltrane
