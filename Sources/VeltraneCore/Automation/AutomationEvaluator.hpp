#pragma once

// Parameter locks are the automation: each lock sets a target to a value at the start of its cell's row,
// and between two locks of the same target the value moves in a straight line. Lines run in the target's
// 0-to-1 form (logarithmic for the cutoffs, so a sweep sounds even) and are read back in natural units.
//
// `AutomationEvaluator` is built once per timeline and answers bus queries at any frame with one table
// look-up and one binary search; it merges all instruments. The two free functions answer the same
// question straight from the timeline, filtered by instrument as well; they scan every lock event on each
// call, so the notes of a song read their instrument lanes from `InstrumentLanes` instead, which gives
// the same answers from an index built once.
//
//     AutomationEvaluator lanes(timeline);
//     double volume = lanes.value(ParameterTarget::trackVolume, frame, track, mixer.volume);
//     double cutoff = automationValue(ParameterTarget::instrumentCutoff, note.startFrame, track, instrument,
//                                     *instrument.cutoff, timeline);
//
// A track of nothing means whatever the track: the lane of every track's locks together, where a higher
// track wins at a shared frame. Before the first lock the value ramps from the default at frame 0.

#include "VeltraneCore/Automation/AutomationLane.hpp"
#include "VeltraneCore/Models/ParameterTarget.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace veltrane {

class AutomationEvaluator {
public:
    /// One locked value, in the target's natural units exactly as locked.
    using Point = automation::LanePoint;

    /// An evaluator without lanes: every query gives its default.
    AutomationEvaluator() = default;
    explicit AutomationEvaluator(const PlaybackTimeline& timeline);

    /// True when the lane of `target` on `track` (or on any track) holds at least one point.
    bool has(ParameterTarget target, std::optional<int> track) const;

    /// The lane's value at `frame`, or `defaultValue` unchanged when the lane is empty. Never allocates.
    double value(ParameterTarget target, std::int64_t frame, std::optional<int> track, double defaultValue) const;

    /// The points of one lane, ascending by frame with at most one per frame; empty when there are none.
    const std::vector<Point>& points(ParameterTarget target, std::optional<int> track) const;

private:
    const std::vector<Point>* lane(ParameterTarget target, std::optional<int> track) const;

    // One lane per target and per track slot: slot 0 is "any track", slot i + 1 the i-th of the tracks
    // that have locks (ascending in `tracks_`). A flat table indexed by target × slots + slot keeps a query
    // to a short search among a few dozen tracks and one array look-up.
    std::vector<int> tracks_;
    std::vector<std::vector<Point>> lanes_;
};

/// True when a lock event matching the filters carries a lock of `target`. A given instrument matches
/// only events whose instrument is known and equal.
bool hasAutomation(ParameterTarget target, std::optional<int> track, std::optional<int> instrument,
                   const PlaybackTimeline& timeline);

/// The value at `frame` of the lane made of the lock events matching the filters; `defaultValue` itself
/// without such locks, and at or before frame 0 when the first lock comes later.
double automationValue(ParameterTarget target, std::int64_t frame, std::optional<int> track,
                       std::optional<int> instrument, double defaultValue, const PlaybackTimeline& timeline);

} // namespace veltrane
