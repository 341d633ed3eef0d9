#pragma once

// The linear ADSR envelope of built-in notes. Times are seconds from the note's start; the gate is when
// the key is let go and the release begins.
//
//     envelopeLevel(0.2, 0.05, instrument)   A 0.1 D 0.2 S 0.5 R 0.3: 0.25, half-way down the
//                                            release from the 0.5 reached at the gate
//
// Pure functions.

#include "VeltraneCore/Models/Instrument.hpp"

namespace veltrane {

/// The shortest release a note is given, so that a release of 0 ends in 5 ms rather than a click.
inline constexpr double shortestReleaseSeconds = 0.005;

/// The attack, decay and sustain stages at `time` as if the key were still held: a linear rise from 0
/// over the attack, a linear fall to the sustain level over the decay, then the sustain level.
double heldEnvelopeLevel(double time, const Instrument& instrument);

/// The envelope at `time` for a key held until `gate`: the held level up to the gate, then a linear fall
/// from the level reached at the gate to 0 over the release (at least 5 ms). A note released during its
/// attack or decay fades from where it got to.
double envelopeLevel(double time, double gate, const Instrument& instrument);

} // namespace veltrane
