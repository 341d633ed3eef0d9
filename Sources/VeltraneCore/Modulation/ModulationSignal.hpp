#pragma once

// The value of one modulation source at a sample frame of the playback timeline.
//
//     LFO       -1 to 1, running with the timeline (frame 0 is the start of playback), one cycle every
//               `rateBeats` beats of the tempo; `random` holds one value per whole cycle, drawn from the
//               cycle index and the source's identifier so every playback and render hears the same.
//     envelope  0 to 1: attack, decay, sustain while the note's gate is open, then release; timed from
//               `noteStartFrame`, the gate lasting `noteDurationFrames` (at least one frame).
//     macro     `macroValue` held to 0 to 1.
//
// A pure function: no state, safe on any thread.

#include "VeltraneCore/Models/ModulationRack.hpp"

#include <cstdint>

namespace veltrane {

/// The source's signal at `frame`. The note arguments matter only to envelopes. Inputs that give no
/// number (a sample rate of 0, a tempo that is not a number) give 0, a signal that moves nothing.
double modulationSignal(const ModulationSource& source, std::int64_t frame, std::int64_t noteStartFrame,
                        std::int64_t noteDurationFrames, double sampleRate, double bpm);

/// The signal at the `count` frames `first`, `first + stride`, `first + 2 × stride`, ... into `out`: the
/// values of as many `modulationSignal` calls, worked out together with the choice of source and
/// waveform made once. A periodic LFO's positions are reckoned with the very arithmetic of
/// `modulationSignal` (so a square or a saw switches on the same frame), several frames to a vector,
/// and its sine is a polynomial within double rounding of the library's; every other value is the very
/// same. Any thread.
void modulationSignals(const ModulationSource& source, std::int64_t first, std::int64_t stride, int count,
                       std::int64_t noteStartFrame, std::int64_t noteDurationFrames, double sampleRate, double bpm,
                       double* out);

/// The held value of a random LFO in the cycle `cycleIndex`, for a source whose identifier starts with
/// the byte `idByte`: -1 to 1. Only the sum of the two matters.
double randomLFOValue(std::int64_t cycleIndex, std::uint8_t idByte);

} // namespace veltrane
