#pragma once

// The instrument automation lanes a window of a long song needs. A lane's value at a note's start is read
// from the lane's points on either side of it, and those may lie far outside the window: a lock at the
// song's start holds until the next one, and a lane ramps towards its next lock however far ahead it is.
// So a window planned on its own would read other values than the whole timeline gives. This keeps, as
// the windows of one pass go by in order, the last point of every lane so far, and finds the next point
// of each lane the window's notes read by scanning the lock events after the window (only as far as
// needed, and remembered until the playback passes the point), then hands the window its own lock events
// with those points around them: the window's notes then read exactly what the whole timeline gives.
// It holds a few points per lane, never the song's lock events.
//
// The same holds for the lanes of the track and master parameters that the bus automation reads at any
// frame of a window: with `Lanes::bus`, every one of them that the scope's patterns lock is given its
// points around each window, and the window keeps the bus lock events alone.
//
//     WindowLanes lanes(project, scope, startRow, startBlock, sampleRate);
//     PlaybackTimeline window = playbackTimeline(..., TimelineWindow{first, count});
//     lanes.complete(window, first + count);     // each window of a pass, in order
//     lanes.restart();                           // a new pass
//
// Main thread.

#include "VeltraneCore/Automation/AutomationLane.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <vector>

namespace veltrane {

/// The patterns that `scope` plays, by index: the only ones whose cells reach its timeline.
std::set<int> patternsPlayed(const Project& project, const PlaybackScope& scope);

class WindowLanes {
public:
    /// Which lanes a window is given.
    enum class Lanes {
        /// The instrument lanes of each track and instrument that the window's notes read, indexed in the
        /// window's `instrumentLanes`; the window keeps all its lock events.
        instrument,
        /// The lane of each track parameter on its track and of each master parameter over all tracks
        /// together (where a higher track wins at a shared frame), whatever the window's notes: the lanes
        /// an `AutomationEvaluator` of the window reads. The window keeps the bus locks of its lock events.
        bus,
    };

    WindowLanes(const Project& project, PlaybackScope scope, int startRow, int startBlock, double sampleRate,
                Lanes lanes = Lanes::instrument);

    /// Gives `window` (the listed rows up to, not including, `endRow`, the next window of this pass) the
    /// lane points before and after it that its reader needs, and takes note of its own points.
    void complete(PlaybackTimeline& window, std::int64_t endRow);

    /// Forgets the points passed: the next window begins a pass.
    void restart();

private:
    // Track (-1: all tracks), instrument (-1: any), target index.
    using Key = std::tuple<int, int, int>;

    struct Ahead {
        std::int64_t scannedFromFrame = 0;    // the scan began at the row starting here
        std::optional<automation::LanePoint> point; // its first point from there; none: the lane ends before
    };

    /// The lane `target` of `event` belongs to among those given, if any.
    std::optional<Key> laneOf(const TimelineLockEvent& event, ParameterTarget target) const;
    /// The lanes the window needs.
    std::set<Key> wanted(const PlaybackTimeline& window) const;

    const Project& project_;
    PlaybackScope scope_;
    int startRow_;
    int startBlock_;
    double sampleRate_;
    Lanes lanes_;
    // Which instrument targets each track locks anywhere in the scope's patterns: no lane can exist
    // without, so nothing is looked for.
    std::vector<std::vector<int>> lockedTargets_;
    // The bus lanes the scope's patterns lock.
    std::set<Key> busLanes_;
    std::map<Key, automation::LanePoint> before_;
    std::map<Key, Ahead> ahead_;
};

} // namespace veltrane
