#pragma once

// Modulation routes added onto a parameter. Routes add in the target's 0-to-1 form (logarithmic for the
// three cutoffs), each contributing amount × signal, and the sum is held to 0 to 1 before it goes back to
// natural units:
//
//     modulatedValue(ParameterTarget::instrumentCutoff, 1000, frame, noteStart, noteLength,
//                    track, instrument, project, 48000)     // 1000 × 1000^(amount × signal)
//
// A route acts when it names the target, has no track or the given track, and has no instrument or the
// given instrument. Without a rack the base comes back untouched; with one, even an empty one, the base
// comes back held to the target's range. Pure functions over values: safe on any thread.

#include "VeltraneCore/Models/ParameterTarget.hpp"
#include "VeltraneCore/Models/Project.hpp"

#include <cstdint>
#include <optional>

namespace veltrane {

/// The target's value in natural units after every matching route of the project's rack is added to
/// `base`. Signals are taken at `frame` with the project's tempo; envelopes run from the note's start.
double modulatedValue(ParameterTarget target, double base, std::int64_t frame, std::int64_t noteStartFrame,
                      std::int64_t noteDurationFrames, int track, int instrument, const Project& project,
                      double sampleRate);

/// A track or master parameter (`track` absent for the master) after its routes: as `modulatedValue`,
/// except that a route limited to an instrument never acts on a bus, and a route limited to a track acts
/// only on that track's bus, never on the master.
double modulatedBusValue(ParameterTarget target, double base, std::int64_t frame, std::int64_t noteStartFrame,
                         std::int64_t noteDurationFrames, std::optional<int> track, const Project& project,
                         double sampleRate);

/// True when some route of the rack names the target and acts on this track and this instrument. A route
/// whose source is gone still counts.
bool hasModulation(ParameterTarget target, int track, int instrument, const Project& project);

/// For track and master targets: true when some route names the target and, when a track is given, has
/// no track or that track. The routes' instruments are not looked at.
bool hasModulation(ParameterTarget target, std::optional<int> track, const Project& project);

} // namespace veltrane
