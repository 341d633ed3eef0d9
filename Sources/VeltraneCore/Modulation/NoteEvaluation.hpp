#pragma once

// What a note's instrument and a bus parameter sound like at a moment of playback, in one fixed order:
//
//     1. the project's instrument with the note's own parameter locks written in (the caller does this),
//     2. instrumentWithAutomation: the automation lanes of this instrument on this track, read at the
//        note's start frame,
//     3. instrumentWithModulation: the modulation routes added on top, evaluated once at the note's start.
//
// so modulation always moves the automated value, never the other way round. Every instrument parameter
// is settled at the note's start here; the renderers follow the continuous ones (volume, pan, cutoff,
// resonance) over the note afterwards.
//
// A track or master parameter (`busParameterValue`) is its lane's value and then its routes, at the
// playback frame taken modulo one pass of the timeline, so bus lanes, LFOs and envelopes start again at
// every loop cycle.
//
// Pure functions over values: safe on any thread, each caller with its own copies.

#include "VeltraneCore/Automation/AutomationEvaluator.hpp"
#include "VeltraneCore/Automation/InstrumentLanes.hpp"
#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/Models/ParameterTarget.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <cstdint>
#include <optional>

namespace veltrane {

/// The instrument (number `index` in the project) as the automation lanes of `track` set it at `frame`.
/// Only lock events of this track that name this instrument form its lanes; a parameter without a lane
/// keeps its value, so an absent cutoff or resonance stays absent. Reads the lanes the timeline was built
/// with, so preparing every note of a song costs a binary search per parameter, not a scan of the song.
Instrument instrumentWithAutomation(const Instrument& instrument, int index, int track, std::int64_t frame,
                                    const PlaybackTimeline& timeline);

/// The same, from lanes indexed once from a timeline's lock events.
Instrument instrumentWithAutomation(const Instrument& instrument, int index, int track, std::int64_t frame,
                                    const InstrumentLanes& lanes);

/// The instrument with every matching modulation route added, evaluated at `frame` for a note that
/// starts at `noteStartFrame` and lasts `noteDurationFrames`. A parameter that a route reaches comes out
/// held to its target's range; every other parameter keeps its value. An absent cutoff (18000) or
/// resonance (0.7) is filled in.
Instrument instrumentWithModulation(const Instrument& instrument, int index, int track, std::int64_t frame,
                                    std::int64_t noteStartFrame, std::int64_t noteDurationFrames,
                                    const Project& project, double sampleRate);

/// A track parameter (`track` given) or master parameter (`track` absent) at a playback `frame` that may
/// run over several loop cycles. `base` is the project's value. The lane comes from `evaluator` when one
/// is given, else from the timeline's lock events. Envelopes run from `noteStartFrame` when given, else
/// from the last note on the track (any track for the master) that started at or before the frame.
double busParameterValue(ParameterTarget target, double base, std::int64_t frame, std::optional<int> track,
                         const Project& project, const PlaybackTimeline& timeline,
                         const AutomationEvaluator* evaluator,
                         std::optional<std::int64_t> noteStartFrame = std::nullopt,
                         std::optional<std::int64_t> noteDurationFrames = std::nullopt);

} // namespace veltrane
